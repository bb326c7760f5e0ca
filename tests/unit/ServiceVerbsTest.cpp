#include <gtest/gtest.h>

#include "config/ConfigBlock.h"
#include "config/Keys.h"
#include "fakes/PeImage.h"
#include "service/Verbs.h"
#include "unit/ServiceWorld.h"

using namespace kavrin;
using kavrin::test::FakeService;
using kavrin::test::ServiceWorld;
using kavrin::test::statusOf;

namespace {

const std::string kOwnPath = "C:\\App\\svc.exe";  // the fake module's path
constexpr const char* kNoManager = "Could not open SCManager.\n";

std::string list(std::initializer_list<const char*> names) {
    std::string out;
    for (const char* n : names) {
        out += n;
        out.push_back('\0');
    }
    out.push_back('\0');
    return out;
}

}  // namespace

// Every verb: a manager that will not open is one line (none when quiet) and exit 1.
// Install runs stop and uninstall quietly first, so the line is printed once.
TEST(ServiceVerbs, ManagerFailurePrintsOneLineOnlyWithMessagesAndExitsWithOne) {
    struct Case {
        const char* verb;
        int (*run)(ServiceWorld&);
        const char* out;
    } cases[] = {
        {"install", [](ServiceWorld& w) { return installVerb(w.ctx, w.config, "x", scm::kStartAuto); }, kNoManager},
        {"configure", [](ServiceWorld& w) { return configureVerb(w.ctx, w.config, "x"); }, kNoManager},
        {"uninstall", [](ServiceWorld& w) { return uninstallVerb(w.ctx, "x", Messages::Print); }, kNoManager},
        {"uninstall, quiet", [](ServiceWorld& w) { return uninstallVerb(w.ctx, "x", Messages::Quiet); }, ""},
        {"stop", [](ServiceWorld& w) { return stopVerb(w.ctx, "x", Messages::Print); }, kNoManager},
        {"start", [](ServiceWorld& w) { return startVerb(w.ctx, "x"); }, kNoManager},
        {"status", [](ServiceWorld& w) { return statusVerb(w.ctx, "x"); }, kNoManager},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb);
        ServiceWorld w;
        w.scm.managerOpenFails = true;
        EXPECT_EQ(c.run(w), 1);
        EXPECT_EQ(w.out(), c.out);
    }
}

// ---- install ---------------------------------------------------------------

TEST(InstallVerb, RegistersTheQuotedOwnPathWithTheTableParameters) {
    ServiceWorld w;
    w.set(key::kDependencies, "Tcpip,,Afd");
    EXPECT_EQ(installVerb(w.ctx, w.config, "x", scm::kStartAuto), 0);
    EXPECT_EQ(w.out(), "Installed service 'x'.\n");
    ASSERT_EQ(w.scm.creates.size(), 1u);
    const CreateServiceParams& p = w.scm.creates[0];
    EXPECT_EQ(p.name, "x");
    EXPECT_EQ(p.desiredAccess, 0xF01FFu);
    EXPECT_EQ(p.serviceType, 0x110u);
    EXPECT_EQ(p.startType, 2u);
    EXPECT_EQ(p.errorControl, 1u);
    // Quoted: unquoted, a path with blanks lets Windows try a shorter program first.
    EXPECT_EQ(p.binaryPath, "\"C:\\App\\svc.exe\"");
    // Wine's CreateServiceA stores a mangled DependOnService, so the list is proven here.
    EXPECT_EQ(p.dependencies, list({"Tcpip", "Afd"}));
    EXPECT_FALSE(w.scm.services.at("x").descriptionSet);  // key 20017 empty: no description
}

TEST(InstallVerb, OpensTheManagerAndServiceWithTheTableRights) {
    ServiceWorld w;
    w.scm.add("x", scm::kStateRunning, kOwnPath, 2);
    installVerb(w.ctx, w.config, "x", scm::kStartDemand);
    ASSERT_EQ(w.scm.managerOpens.size(), 4u);  // whose program, stop, uninstall, install
    EXPECT_EQ(w.scm.managerOpens[0].access, 0x1u);
    EXPECT_EQ(w.scm.managerOpens[1].access, 0x1u);
    EXPECT_EQ(w.scm.managerOpens[2].access, 0xF003Fu);
    EXPECT_EQ(w.scm.managerOpens[3].access, 0xF003Fu);
    ASSERT_EQ(w.scm.serviceOpens.size(), 3u);
    EXPECT_EQ(w.scm.serviceOpens[0].access, 0x5u);
    EXPECT_EQ(w.scm.serviceOpens[1].access, 0x24u);
    EXPECT_EQ(w.scm.serviceOpens[2].access, 0x10000u);
    EXPECT_EQ(w.scm.creates.at(0).startType, 3u);
}

TEST(InstallVerb, SetsTheDescriptionWhenKey20017IsSet) {
    ServiceWorld w;
    w.set(key::kServiceDescription, u"Runs the \u00e4pp");
    EXPECT_EQ(installVerb(w.ctx, w.config, "x", scm::kStartAuto), 0);
    EXPECT_TRUE(w.scm.services.at("x").descriptionSet);
    EXPECT_EQ(w.scm.services.at("x").description, u"Runs the \u00e4pp");
}

TEST(InstallVerb, PrintedLinesDependOnWhatWasThereBefore) {
    struct Case {
        const char* what;
        std::optional<uint32_t> existing;
        const char* out;
    } cases[] = {
        {"running", scm::kStateRunning, "Stopping service 'x'.\nService stopped\nInstalled service 'x'.\n"},
        {"stopped", scm::kStateStopped, "Installed service 'x'.\n"},
        {"absent", std::nullopt, "Installed service 'x'.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceWorld w;
        if (c.existing) w.scm.add("x", *c.existing, "C:\\Old\\svc.exe", 3);
        EXPECT_EQ(installVerb(w.ctx, w.config, "x", scm::kStartAuto), 0);
        EXPECT_EQ(w.out(), c.out);
        EXPECT_EQ(w.scm.services.at("x").created.binaryPath, "\"C:\\App\\svc.exe\"");
    }
}

TEST(InstallVerb, FailuresPrintTheirLineAndExitWithOne) {
    ServiceWorld noCreate;
    noCreate.scm.createFailsWith = 5;
    EXPECT_EQ(installVerb(noCreate.ctx, noCreate.config, "x", scm::kStartAuto), 1);
    EXPECT_EQ(noCreate.out(), "Could not create service. Error code: 5\n");
}

// A registration only marked for deletion goes when its last handle closes: -install
// waits for it (up to 30 s) instead of leaving nothing installed.
TEST(InstallVerb, WaitsForAServiceMarkedForDeletion) {
    ServiceWorld gone;
    gone.scm.createFailsWith = win32err::kServiceMarkedForDelete;
    gone.scm.createFailsTimes = 3;
    EXPECT_EQ(installVerb(gone.ctx, gone.config, "x", scm::kStartAuto), 0);
    EXPECT_EQ(gone.scm.creates.size(), 4u);
    EXPECT_EQ(gone.out(), "Installed service 'x'.\n");

    ServiceWorld stuck;
    stuck.scm.createFailsWith = win32err::kServiceMarkedForDelete;
    EXPECT_EQ(installVerb(stuck.ctx, stuck.config, "x", scm::kStartAuto), 1);
    EXPECT_GE(stuck.fake.clock.sleptMs, 30000u);
    EXPECT_LE(stuck.fake.clock.sleptMs, 31000u);
    EXPECT_EQ(stuck.out(), "Could not create service. Error code: 1072\n");
}

// -install NAME over someone else's service (-install Spooler) refuses and leaves it be,
// unless its program is gone or is itself a packed launcher (an upgrade).
TEST(InstallVerb, RefusesToReplaceAnotherExistingProgram) {
    struct Case {
        const char* registered;
        const char* file;     // created at this path, or nullptr
        bool packed;          // the file carries a configuration block
        const char* refusal;  // the program named, or nullptr when installed
    } cases[] = {
        {"C:\\Windows\\System32\\spoolsv.exe", "C:\\Windows\\System32\\spoolsv.exe", false,
         "C:\\Windows\\System32\\spoolsv.exe"},
        {"%SystemRoot%\\system32\\svchost.exe -k netsvcs", "C:\\Windows\\system32\\svchost.exe", false,
         "C:\\Windows\\system32\\svchost.exe"},
        {"C:\\Program Files\\Other App\\run.exe -service", "C:\\Program Files\\Other App\\run.exe", false,
         "C:\\Program Files\\Other App\\run.exe"},
        {"\"C:\\Other\\svc.exe\" -x", "C:\\Other\\svc.exe", false, "C:\\Other\\svc.exe"},
        {"System32\\drivers\\x.sys", nullptr, false, "System32\\drivers\\x.sys"},  // cannot tell: refused
        {"\"C:\\Old\\svc.exe\"", nullptr, false, nullptr},                         // gone
        {"\"C:\\Old\\svc.exe\"", "C:\\Old\\svc.exe", true, nullptr},               // a packed launcher
        {"\"C:\\App\\svc.exe\" arg", nullptr, false, nullptr},                     // this one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registered);
        ServiceWorld w;
        w.fake.env.put("SystemRoot", "C:\\Windows");
        if (c.file)
            w.fake.fs.addFile(c.file,
                              c.packed ? test::makePeImage() + encodeConfigBlock({}) : std::string("MZ plain program"));
        w.scm.add("x", scm::kStateRunning, c.registered, 2);
        const int rc = installVerb(w.ctx, w.config, "x", scm::kStartAuto);
        if (c.refusal) {
            EXPECT_EQ(rc, 1);
            EXPECT_EQ(w.out(), std::string("Service 'x' runs another program: ") + c.refusal + "\n");
            EXPECT_EQ(w.scm.services.at("x").created.binaryPath, c.registered);  // untouched
            EXPECT_TRUE(w.scm.controls.empty() && w.scm.deletes.empty() && w.scm.creates.empty());
        } else {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(w.scm.services.at("x").created.binaryPath, "\"C:\\App\\svc.exe\"");
        }
    }
}

// ---- configure -------------------------------------------------------------

TEST(ConfigureVerb, QuotesTheRegisteredPathAndSetsTheDescriptionInPlace) {
    ServiceWorld w;
    // As an installer package's service table may leave it: unquoted, running.
    w.scm.add("x", scm::kStateRunning, kOwnPath, 2);
    w.set(key::kServiceDescription, u"Runs the app");
    EXPECT_EQ(configureVerb(w.ctx, w.config, "x"), 0);
    EXPECT_EQ(w.out(), "Configured service 'x'.\n");
    const FakeService& s = w.scm.services.at("x");
    EXPECT_EQ(s.created.binaryPath, "\"C:\\App\\svc.exe\"");
    EXPECT_EQ(s.description, u"Runs the app");
    // Changed in place: neither stopped nor recreated.
    EXPECT_EQ(s.status.currentState, scm::kStateRunning);
    EXPECT_TRUE(w.scm.creates.empty() && w.scm.deletes.empty() && w.scm.controls.empty());
    EXPECT_EQ(w.scm.serviceOpens.at(0).access, 0x12u);  // change config, and start for restart actions
}

TEST(ConfigureVerb, FailuresPrintTheirLineAndExitWithOne) {
    ServiceWorld absent;
    EXPECT_EQ(configureVerb(absent.ctx, absent.config, "x"), 1);
    EXPECT_EQ(absent.out(), "Could not configure service.\n");
}

TEST(DependencyList, SplitsAtCommasSkippingEmptyNames) {
    struct Case {
        const char* key;
        std::optional<std::string> expected;
    } cases[] = {
        {"", std::nullopt},
        {"Tcpip,,Afd", list({"Tcpip", "Afd"})},
        {"a", list({"a"})},
        {",a,", list({"a"})},
        {" a , b", list({" a ", " b"})},  // blanks stay part of the name
        {",,,", std::string(1, '\0')},    // no names: an empty list
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(dependencyListFrom(c.key), c.expected);
    }
}

TEST(DependencyList, ListLongerThanAnEightKilobyteBufferIsPassedWhole) {
    // The list is not held in an 8192-byte buffer: past 8192 bytes every name must
    // still arrive, neither cut nor written beyond its end.
    std::string key;
    for (int i = 0; i < 1000; ++i) key += "Dependency" + std::to_string(i) + ",";
    ServiceWorld w;
    w.set(key::kDependencies, key);
    ASSERT_EQ(installVerb(w.ctx, w.config, "x", scm::kStartAuto), 0);
    const std::string deps = *w.scm.creates.at(0).dependencies;
    EXPECT_GT(deps.size(), 8192u);
    EXPECT_EQ(std::count(deps.begin(), deps.end(), '\0'), 1001);
    EXPECT_EQ(deps.substr(deps.size() - 16), std::string("\0Dependency999\0\0", 16));
}

// ---- uninstall -------------------------------------------------------------

TEST(UninstallVerb, LinesAndResults) {
    struct Case {
        const char* what;
        std::optional<uint32_t> existing;
        bool messages;
        int code;
        const char* out;
    } cases[] = {
        {"absent", std::nullopt, true, 1, "Could not delete service.\n"},
        {"absent, quiet", std::nullopt, false, 1, ""},
        {"stopped", scm::kStateStopped, true, 0, "Uninstalled service 'x'.\n"},
        {"running", scm::kStateRunning, true, 0, "Stopping service 'x'.\nService stopped\nUninstalled service 'x'.\n"},
        {"running, quiet", scm::kStateRunning, false, 0, "Stopping service 'x'.\nService stopped\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceWorld w;
        if (c.existing) w.scm.add("x", *c.existing, kOwnPath, 3);
        EXPECT_EQ(uninstallVerb(w.ctx, "x", c.messages ? Messages::Print : Messages::Quiet), c.code);
        EXPECT_EQ(w.out(), c.out);
        EXPECT_EQ(w.scm.services.count("x"), 0u);
    }
}

// ---- stop ------------------------------------------------------------------

TEST(StopVerb, LinesAndResults) {
    struct Case {
        const char* what;
        std::optional<uint32_t> existing;
        bool messages;
        int code;
        const char* out;
    } cases[] = {
        {"running", scm::kStateRunning, true, 0, "Stopping service 'x'.\nService stopped\n"},
        {"running, quiet", scm::kStateRunning, false, 0, "Stopping service 'x'.\nService stopped\n"},
        {"not running", scm::kStateStopped, true, 1, "Could not stop service.\n"},
        {"not running, quiet", scm::kStateStopped, false, 1, ""},
        {"absent", std::nullopt, true, 1, "Could not stop service.\n"},
        {"absent, quiet", std::nullopt, false, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceWorld w;
        if (c.existing) w.scm.add("x", *c.existing, kOwnPath, 3);
        EXPECT_EQ(stopVerb(w.ctx, "x", c.messages ? Messages::Print : Messages::Quiet), c.code);
        EXPECT_EQ(w.out(), c.out);
    }
}

TEST(StopVerb, WaitThatRunsOutStillExitsWithZero) {
    ServiceWorld w;
    w.scm.add("x", scm::kStateRunning, kOwnPath, 3).afterStop = {statusOf(scm::kStateStopPending, 0, 1000)};
    EXPECT_EQ(stopVerb(w.ctx, "x", Messages::Print), 0);
    EXPECT_EQ(w.out(), "Stopping service 'x'.\nError while stopping service\n");
    EXPECT_EQ(w.scm.controls.at(0).second, 1u);
    EXPECT_EQ(w.scm.managerOpens.at(0).access, 1u);
    EXPECT_EQ(w.scm.serviceOpens.at(0).access, 0x24u);
}

// ---- waitForServiceStop ----------------------------------------------------

namespace {

// Runs the wait against a service whose status walks through `sequence` after the stop.
bool waitWith(ServiceWorld& w, std::vector<ServiceStatus> sequence) {
    w.scm.add("x", scm::kStateRunning, kOwnPath, 3).afterStop = std::move(sequence);
    auto manager = w.scm.openManager(1);
    auto service = manager->openService("x", 0x24);
    service->control(scm::kControlStop);
    return waitForServiceStop(w.ctx, *service);
}

}  // namespace

TEST(WaitForServiceStop, GivesUpOnlyWhenTheWaitHintPassesWithoutProgress) {
    ServiceWorld w;
    EXPECT_FALSE(waitWith(w, {statusOf(3, 0, 1000)}));
    // Polls every 500 ms; leaves once more than 1000 ms passed: after the third poll.
    EXPECT_EQ(w.fake.clock.sleptMs, 1500u);
}

TEST(WaitForServiceStop, AdvancingCheckpointRestartsTheClock) {
    ServiceWorld w;
    std::vector<ServiceStatus> sequence;
    for (uint32_t cp = 0; cp < 8; ++cp) {
        sequence.push_back(statusOf(3, cp, 1000));  // progress every 500 ms
        sequence.push_back(statusOf(3, cp, 1000));
    }
    sequence.push_back(statusOf(1));
    EXPECT_TRUE(waitWith(w, sequence));
    EXPECT_GT(w.fake.clock.sleptMs, 1000u * 4);  // far beyond one wait hint
}

TEST(WaitForServiceStop, TickCounterWrapDoesNoHarm) {
    ServiceWorld w;
    w.fake.clock.ticks = 0xFFFFFE00u;
    EXPECT_FALSE(waitWith(w, {statusOf(3, 0, 1000)}));
    EXPECT_EQ(w.fake.clock.sleptMs, 1500u);
}

TEST(WaitForServiceStop, ReturnsAtOnceOnAnythingButStopPending) {
    ServiceWorld running;
    EXPECT_FALSE(waitWith(running, {statusOf(scm::kStateRunning)}));
    EXPECT_EQ(running.fake.clock.sleptMs, 0u);
    ServiceWorld stopped;
    EXPECT_TRUE(waitWith(stopped, {statusOf(scm::kStateStopped)}));
    EXPECT_EQ(stopped.fake.clock.sleptMs, 0u);
}

TEST(WaitForServiceStop, FailedQueryEndsTheWaitAsNotStopped) {
    ServiceWorld w;
    w.scm.add("x", scm::kStateStopped, kOwnPath, 3).queryStatusFails = true;
    auto service = w.scm.openManager(1)->openService("x", 0x24);
    EXPECT_FALSE(waitForServiceStop(w.ctx, *service));
    EXPECT_EQ(w.fake.clock.sleptMs, 0u);
}

// ---- start -----------------------------------------------------------------

TEST(StartVerb, LinesAndResults) {
    struct Case {
        const char* what;
        std::optional<uint32_t> existing;
        std::optional<uint32_t> startFails;
        int code;
        const char* out;
    } cases[] = {
        {"stopped", scm::kStateStopped, std::nullopt, 0, "Starting service 'x'.\n"},
        {"running", scm::kStateRunning, std::nullopt, 0, "Service is already running.\n"},
        {"absent", std::nullopt, std::nullopt, 1, "Could not start service. Error code: 1060\n"},
        {"start fails", scm::kStateStopped, 1053u, 1, "Could not start service. Error code: 1053\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceWorld w;
        if (c.existing) w.scm.add("x", *c.existing, kOwnPath, 3).startFailsWith = c.startFails;
        EXPECT_EQ(startVerb(w.ctx, "x"), c.code);
        EXPECT_EQ(w.out(), c.out);
        EXPECT_EQ(w.scm.managerOpens.at(0).access, 1u);
        EXPECT_EQ(w.scm.serviceOpens.at(0).access, 0x10u);
    }
}

// ---- status ----------------------------------------------------------------

TEST(StatusVerb, LinesAndResults) {
    struct Case {
        const char* what;
        uint32_t state;
        const char* path;
        uint32_t startType;
        int code;
        const char* out;
    } cases[] = {
        {"stopped demand", 1, "\"C:\\App\\svc.exe\"", 3, 3, "Not running.\n"},
        {"running auto", 4, "\"C:\\App\\svc.exe\"", 2, 0, "Running.\nAuto-start.\n"},
        {"running auto, unquoted", 4, "C:\\App\\svc.exe", 2, 0, "Running.\nAuto-start.\n"},
        {"stopped auto", 1, "C:\\App\\svc.exe", 2, 3, "Not running.\nAuto-start.\n"},
        {"stop pending", 3, "C:\\App\\svc.exe", 3, 3, "Not running.\n"},
        {"other executable", 4, "C:\\Other\\svc.exe", 2, 1,
         "Running.\nDifferent service executable: C:\\Other\\svc.exe\n"},
        {"backup beside ours", 4, "C:\\App\\svc.exe.bak", 2, 1,
         "Running.\nDifferent service executable: C:\\App\\svc.exe.bak\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceWorld w;
        w.scm.add("x", c.state, c.path, c.startType);
        EXPECT_EQ(statusVerb(w.ctx, "x"), c.code);
        EXPECT_EQ(w.out(), c.out);
        EXPECT_EQ(w.scm.managerOpens.at(0).access, 1u);
        EXPECT_EQ(w.scm.serviceOpens.at(0).access, 5u);
    }
}

TEST(StatusVerb, Failures) {
    ServiceWorld absent;
    EXPECT_EQ(statusVerb(absent.ctx, "x"), 1);
    EXPECT_EQ(absent.out(), "Could not get status.\n");

    ServiceWorld noConfig;
    FakeService& s = noConfig.scm.add("x", scm::kStateRunning, kOwnPath, 2);
    s.queryConfigFailsWith = 122;
    s.bytesNeeded = 9000;
    EXPECT_EQ(statusVerb(noConfig.ctx, "x"), 1);
    EXPECT_EQ(noConfig.out(), "Running.\nCould not get config (122, 9000).\n");
}

TEST(OwnServiceCommand, RecognisesOurRegistrationQuotedOrNot) {
    struct Case {
        const char* registered;
        const char* own;
        bool ours;
    } cases[] = {
        {"\"C:\\App\\svc.exe\"", "C:\\App\\svc.exe", true},
        {"C:\\App\\svc.exe", "C:\\App\\svc.exe", true},
        {"c:\\app\\SVC.EXE", "C:\\App\\svc.exe", true},
        {"\"C:\\App\\svc.exe\" -service", "C:\\App\\svc.exe", true},
        {"C:\\App\\svc.exe -service", "C:\\App\\svc.exe", true},
        {"C:\\Program Files\\App\\svc.exe", "C:\\Program Files\\App\\svc.exe", true},
        {"\"C:\\Program Files\\App\\svc.exe\"", "C:\\Program Files\\App\\svc.exe", true},
        {"C:\\App\\svc.exe.bak", "C:\\App\\svc.exe", false},
        {"\"C:\\App\\svc.exe.bak\"", "C:\\App\\svc.exe", false},
        {"\"C:\\App\\svc.exe\"x", "C:\\App\\svc.exe", false},
        {"\"C:\\App\\svc.exe", "C:\\App\\svc.exe", false},
        {"C:\\App\\svc.ex", "C:\\App\\svc.exe", false},
        {"C:\\App2\\svc.exe", "C:\\App\\svc.exe", false},
        {"\"C:\\Program\"", "C:\\Program Files\\App\\svc.exe", false},
        {"", "C:\\App\\svc.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registered);
        EXPECT_EQ(isOwnServiceCommand(c.registered, c.own), c.ours);
    }
}
