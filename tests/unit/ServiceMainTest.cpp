#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "fakes/LauncherWorld.h"
#include "service/ServiceMain.h"
#include "unit/ScriptedRuntime.h"
#include "unit/ServiceWorld.h"

using namespace kavrin;
using kavrin::test::ProcessExit;
using kavrin::test::ScriptedRuntime;
using kavrin::test::ServiceWorld;

namespace {

ServiceStatus expected(uint32_t state, uint32_t exitCode = 0, uint32_t checkPoint = 0) {
    ServiceStatus s = initialServiceStatus();
    s.currentState = state;
    s.win32ExitCode = exitCode;
    s.checkPoint = checkPoint;
    return s;
}

std::vector<uint32_t> states(const std::vector<ServiceStatus>& reports) {
    std::vector<uint32_t> out;
    for (const auto& r : reports) out.push_back(r.currentState);
    return out;
}

bool sameRecord(const ServiceStatus& a, const ServiceStatus& b) {
    return a.serviceType == b.serviceType && a.currentState == b.currentState &&
           a.controlsAccepted == b.controlsAccepted && a.win32ExitCode == b.win32ExitCode &&
           a.serviceSpecificExitCode == b.serviceSpecificExitCode && a.checkPoint == b.checkPoint &&
           a.waitHint == b.waitHint;
}

// A service whose serviceMain runs over a scripted runtime on the calling thread.
struct MainWorld : ServiceWorld {
    ScriptedRuntime rt;
    std::optional<ServiceSession> session;  // kept: the process-end hooks report through it
    // Returns the exit serviceMain ended with, if any.
    std::optional<ProcessExit> runMain(const std::vector<std::string>& args) {
        session.emplace(ctx, config, rt.make(), "x", Extraction{});
        return test::exitOf([&] { serviceMain(*session, args); });
    }
};

}  // namespace

// ---- the table of states ---------------------------------------------------

TEST(ServiceStatusTable, InitialRecord) {
    ServiceStatus s = initialServiceStatus();
    EXPECT_EQ(s.serviceType, 0x30u);
    EXPECT_EQ(s.currentState, 4u);
    EXPECT_EQ(s.controlsAccepted, 5u);
    EXPECT_EQ(s.win32ExitCode, 0u);
    EXPECT_EQ(s.serviceSpecificExitCode, 0u);
    EXPECT_EQ(s.checkPoint, 0u);
    EXPECT_EQ(s.waitHint, 50000u);
}

TEST(ServiceStatusTable, EachEventChangesOnlyItsFields) {
    ServiceStatus base = initialServiceStatus();
    base.checkPoint = 7;
    const std::optional<uint32_t> unknown;
    struct Row {
        StatusEvent event;
        uint32_t from;
        std::optional<uint32_t> processExitCode;
        uint32_t state;
        uint32_t exitCode;
        uint32_t specific;
        uint32_t checkPoint;
        bool report;
    } rows[] = {
        {StatusEvent::Launched, 4, unknown, 4, 0, 0, 7, true},
        {StatusEvent::Launched, 3, unknown, 3, 0, 0, 7, false},  // never running again after a stop
        {StatusEvent::StopControl, 4, unknown, 3, 0, 0, 7, true},
        {StatusEvent::ShutdownControl, 4, unknown, 3, 0, 0, 8, true},
        {StatusEvent::ShutdownControl, 3, unknown, 3, 0, 0, 8, true},
        {StatusEvent::OtherControl, 3, unknown, 3, 0, 0, 7, true},
        {StatusEvent::StopHandled, 3, unknown, 1, 0, 0, 7, true},
        {StatusEvent::LaunchFailed, 4, unknown, 1, 1, 0, 7, true},
        // Ending on its own is a failure with the process's code; 0 is a clean stop,
        // no known code (a crash) counts as 1.
        {StatusEvent::ProcessEnding, 4, 3u, 1, 1066, 3, 7, true},
        {StatusEvent::ProcessEnding, 4, 0u, 1, 0, 0, 7, true},
        {StatusEvent::ProcessEnding, 4, unknown, 1, 1066, 1, 7, true},
        // Asked to stop: clean whatever the code.
        {StatusEvent::ProcessEnding, 3, 3u, 1, 0, 0, 7, true},
        {StatusEvent::ProcessEnding, 1, 3u, 1, 0, 0, 7, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(r.event) << " from " << r.from);
        ServiceStatus from = base;
        from.currentState = r.from;
        StatusChange change = nextServiceStatus(from, r.event, r.processExitCode);
        EXPECT_EQ(change.status.currentState, r.state);
        EXPECT_EQ(change.status.win32ExitCode, r.exitCode);
        EXPECT_EQ(change.status.serviceSpecificExitCode, r.specific);
        EXPECT_EQ(change.status.checkPoint, r.checkPoint);
        EXPECT_EQ(change.status.waitHint, 50000u);
        EXPECT_EQ(change.status.serviceType, 0x30u);
        EXPECT_EQ(change.status.controlsAccepted, 5u);
        EXPECT_EQ(change.report, r.report);
    }
}

TEST(ServiceStatusTable, ProcessEndingKeepsTheExitCodeOfAFailedLaunch) {
    ServiceStatus failed = nextServiceStatus(initialServiceStatus(), StatusEvent::LaunchFailed).status;
    StatusChange change = nextServiceStatus(failed, StatusEvent::ProcessEnding);
    EXPECT_FALSE(change.report);
    EXPECT_EQ(change.status.win32ExitCode, 1u);
}

// ---- serviceMain -----------------------------------------------------------

TEST(ServiceMain, StopDuringTheLaunchStopsRightAfterItWithoutReportingRunning) {
    MainWorld w;
    w.ctx.cleanupList = {"C:\\Temp\\kvr1234"};
    std::optional<RegValue> queuedAtExit;
    w.rt.duringLaunch = [&] { w.scm.sendControl(scm::kControlStop); };
    w.rt.duringExit = [&] {
        queuedAtExit = w.fake.registry.value(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp", "delete_dir");
    };
    std::optional<ProcessExit> exit = w.runMain({"x"});

    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->code, 0u);
    EXPECT_TRUE(exit->quick);  // _exit: no runtime exit processing
    EXPECT_EQ(w.rt.calls, (std::vector<std::string>{"deletion queue", "split", "load", "launch", "system exit"}));
    auto reports = w.scm.reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_TRUE(sameRecord(reports[0], expected(4)));  // running before any JVM is searched
    EXPECT_TRUE(sameRecord(reports[1], expected(3)));  // the stop control
    EXPECT_TRUE(sameRecord(reports[2], expected(1)));  // after the application was asked to exit
    // The handler queued the clean-up before the application was asked to exit.
    ASSERT_TRUE(queuedAtExit);
    EXPECT_EQ(queuedAtExit->data, "C:\\Temp\\kvr1234;");
    EXPECT_EQ(w.scm.handlerName, "x");
    ASSERT_EQ(w.fake.console.handlers.size(), 1u);
}

TEST(ServiceMain, StopBeforeTheJvmExistsCreatesNoneAndStops) {
    for (bool duringSearch : {false, true}) {
        SCOPED_TRACE(duringSearch ? "during the JVM search" : "while old temporary files are deleted");
        MainWorld w;
        (duringSearch ? w.rt.duringLoad : w.rt.duringDeletion) = [&] { w.scm.sendControl(scm::kControlStop); };
        std::optional<ProcessExit> exit = w.runMain({"x"});
        ASSERT_TRUE(exit);
        EXPECT_EQ(exit->code, 0u);
        EXPECT_EQ(w.rt.calls.back(), duringSearch ? "load" : "split");
        EXPECT_EQ(states(w.scm.reports()), (std::vector<uint32_t>{4, 3, 1}));
        EXPECT_TRUE(sameRecord(w.scm.reports().back(), expected(1)));
    }
}

TEST(ServiceMain, LauncherArgumentsAreTheCommandLineThenEveryStartArgument) {
    MainWorld w;
    w.fake.module.commandLine = u"\"C:\\App\\svc.exe\" x";
    w.rt.loads = true;
    w.rt.launches = false;
    w.runMain({"svc", "a", "b\xE9"});
    EXPECT_EQ(w.rt.launchedWith, (std::vector<std::u16string>{u"x", u"svc", u"a", u"b\u00e9"}));
}

TEST(ServiceMain, NoJvmOrFailedLaunchReportsStoppedWithExitCodeOne) {
    for (bool loads : {false, true}) {
        SCOPED_TRACE(loads ? "launch fails" : "no JVM");
        MainWorld w;
        w.rt.loads = loads;
        w.rt.launches = false;
        EXPECT_FALSE(w.runMain({"x"}));  // returns to the dispatcher
        auto reports = w.scm.reports();
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_TRUE(sameRecord(reports[0], expected(4)));
        EXPECT_TRUE(sameRecord(reports[1], expected(1, 1)));
        EXPECT_EQ(w.rt.calls.back(), loads ? "launch" : "load");
        EXPECT_TRUE(w.fake.console.handlers.empty());
        // The runtime's exit processing afterwards reports nothing more.
        ASSERT_EQ(w.fake.exit.hooks.size(), 1u);
        w.fake.exit.hooks[0]();
        EXPECT_EQ(w.scm.reports().size(), 2u);
    }
}

TEST(ServiceMain, FailedHandlerRegistrationReportsNothingAndDoesNothingMore) {
    MainWorld w;
    w.scm.registerFails = true;
    EXPECT_FALSE(w.runMain({"x"}));
    EXPECT_TRUE(w.scm.reports().empty());
    EXPECT_TRUE(w.rt.calls.empty());
    EXPECT_TRUE(w.fake.exit.hooks.empty());
}

TEST(ServiceMain, ProcessEndedByTheJvmsOwnRuntimeStillReportsStopped) {
    // Shutdown.exit ends the process through the JVM's C runtime: our atexit list never
    // runs, only the process-end hook does. Simulated by calling that hook from inside
    // callSystemExit and ending there.
    MainWorld w;
    w.rt.duringLaunch = [&] { w.scm.sendControl(scm::kControlStop); };
    w.rt.duringExit = [&] {
        ASSERT_NE(w.scm.processEndHook, nullptr);
        w.scm.processEndHook();
        throw ProcessExit{0, false};  // ExitProcess from inside the JVM
    };
    w.runMain({"x"});
    auto reports = w.scm.reports();
    ASSERT_EQ(states(reports), (std::vector<uint32_t>{4, 3, 1}));
    EXPECT_TRUE(sameRecord(reports.back(), expected(1, 0)));
    // Both hooks are the same report; whichever runs second finds it done.
    ASSERT_EQ(w.fake.exit.hooks.size(), 1u);
    w.fake.exit.hooks[0]();
    EXPECT_EQ(w.scm.reports().size(), 3u);
}

TEST(ServiceMain, ProcessEndingWhileRunningReportsTheExitCodeAsAFailure) {
    // The process ends while the service runs: the application's System.exit (the JVM's
    // exit hook records the code), a fatal error after the start, or a crash (no code).
    struct Row {
        const char* what;
        std::function<void(Process&)> end;
        uint32_t win32;
        uint32_t specific;
    } rows[] = {
        {"System.exit(3)",
         [](Process& ctx) {
             recordExitCode(ctx, 3);
             throw ProcessExit{3, false};
         },
         1066, 3},
        {"System.exit(0)",
         [](Process& ctx) {
             recordExitCode(ctx, 0);
             throw ProcessExit{0, false};
         },
         0, 0},
        {"fatal 1010", [](Process& ctx) { reportFatalKey(ctx, Config(), key::kMsgNoMainClass, std::nullopt); }, 1066,
         1},
        {"crash",
         [](Process&) {
             throw ProcessExit{0xC0000005u, false};
         },
         1066, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        MainWorld w;
        w.rt.duringLaunch = [&] { r.end(w.ctx); };
        ASSERT_TRUE(w.runMain({"x"}));
        w.scm.processEndHook();  // ExitProcess runs it
        auto reports = w.scm.reports();
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_EQ(reports[1].currentState, scm::kStateStopped);
        EXPECT_EQ(reports[1].win32ExitCode, r.win32);
        EXPECT_EQ(reports[1].serviceSpecificExitCode, r.specific);
    }
}

TEST(ServiceMain, ControlsFromTheDispatcherThread) {
    // serviceMain on its own thread, controls from the dispatcher's: interrogate
    // re-reports, shutdown raises the checkpoint, stop leaves it.
    ServiceWorld w;
    ScriptedRuntime rt;
    w.scm.startArguments = {"svc"};
    w.scm.whileRunning = [&](test::FakeServiceManager& scm) {
        ASSERT_TRUE(scm.waitForReports(2));  // running, then launched
        scm.sendControl(scm::kControlInterrogate);
        scm.sendControl(scm::kControlShutdown);
        scm.sendControl(scm::kControlShutdown);
        scm.sendControl(scm::kControlStop);
    };
    ServicePath path{[](Process&) { return ExtractionResult{}; }, rt.make()};
    const std::optional<ProcessExit> exit = test::exitOf([&] { runServiceDispatcher(w.ctx, w.config, "svc", path); });
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->code, 0u);
    EXPECT_EQ(w.scm.dispatchedName, "svc");
    auto reports = w.scm.reports();
    ASSERT_EQ(reports.size(), 7u);
    EXPECT_TRUE(sameRecord(reports[0], expected(4)));
    EXPECT_TRUE(sameRecord(reports[1], expected(4)));  // launched
    EXPECT_TRUE(sameRecord(reports[2], expected(4)));  // interrogate: unchanged
    EXPECT_TRUE(sameRecord(reports[3], expected(3, 0, 1)));
    EXPECT_TRUE(sameRecord(reports[4], expected(3, 0, 2)));
    EXPECT_TRUE(sameRecord(reports[5], expected(3, 0, 2)));  // stop leaves the checkpoint
    EXPECT_TRUE(sameRecord(reports[6], expected(1, 0, 2)));
    EXPECT_EQ(rt.calls.back(), "system exit");
}

TEST(ServiceDispatcher, ExtractionFailureIsFatalWithInternalError16) {
    ServiceWorld w;
    w.set(key::kMsgInternalError, "An internal error occurred (error code: {0})");
    w.ctx.fatal.useMessageBox = false;  // launcher type 4
    ScriptedRuntime rt;
    ServicePath path{[](Process&) { return ExtractionResult{2, {}}; }, rt.make()};
    EXPECT_EQ(test::exitCodeOf([&] { runServiceDispatcher(w.ctx, w.config, "x", path); }), 1u);
    EXPECT_EQ(w.fake.console.stderrText, "An internal error occurred (error code: 16)\n");
    EXPECT_FALSE(w.scm.dispatchedName);
}

TEST(ServiceDispatcher, ReturnsZeroWhenTheServiceEndedWithoutAJvm) {
    ServiceWorld w;
    ScriptedRuntime rt;
    rt.loads = false;
    ServicePath path{[](Process&) { return ExtractionResult{}; }, rt.make()};
    EXPECT_EQ(runServiceDispatcher(w.ctx, w.config, "x", path), 0);
    EXPECT_EQ(states(w.scm.reports()), (std::vector<uint32_t>{4, 1}));
}

TEST(ConsoleControlHandler, HandlesEveryEventSoTheServiceKeepsRunning) {
    ServiceWorld w;
    for (uint32_t event : {0u, 1u, 2u, 5u, 6u}) EXPECT_TRUE(consoleControlHandler(w.ctx, event));
}

// ---- the record under two writers ------------------------------------------

TEST(StatusRecord, ReportsFollowTheOrderOfChangesUnderTwoWriters) {
    // Each change and its report happen together: the checkpoints reported never go
    // back, and every change is reported exactly once.
    test::FakeServiceManager scm;
    StatusRecord record(scm);
    record.fill(initialServiceStatus());
    constexpr int kEach = 2000;
    std::thread controls([&] {
        for (int i = 0; i < kEach; ++i) record.apply(StatusEvent::ShutdownControl);
    });
    std::thread main([&] {
        for (int i = 0; i < kEach; ++i) record.apply(StatusEvent::OtherControl);
    });
    controls.join();
    main.join();
    auto reports = scm.reports();
    ASSERT_EQ(reports.size(), 2u * kEach);
    for (size_t i = 1; i < reports.size(); ++i) ASSERT_GE(reports[i].checkPoint, reports[i - 1].checkPoint);
    EXPECT_EQ(reports.back().checkPoint, static_cast<uint32_t>(kEach));
}

TEST(StatusRecord, ProcessEndReportGoesOutWhileAnotherThreadIsStuckInAReport) {
    // ExitProcess ends every other thread first, possibly one in the middle of a report
    // and so holding the record's lock: the exit hook must not wait for it forever.
    test::FakeServiceManager scm;
    StatusRecord record(scm);
    record.fill(initialServiceStatus());
    std::atomic<bool> inReport{false}, release{false};
    scm.beforeReport = [&](const ServiceStatus& s) {
        if (s.currentState != scm::kStateStopPending) return;
        inReport = true;
        while (!release) std::this_thread::yield();
    };
    std::thread stuck([&] { record.apply(StatusEvent::StopControl); });
    while (!inReport) std::this_thread::yield();
    record.applyAtProcessEnd(std::nullopt);  // returns although the lock is still held
    auto reports = scm.reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].currentState, scm::kStateStopped);
    EXPECT_EQ(reports[0].win32ExitCode, 0u);
    release = true;
    stuck.join();
}
