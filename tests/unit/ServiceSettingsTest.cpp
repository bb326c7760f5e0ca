// The operations settings over the fake service manager. Wine's service manager has no
// failure actions, refuses delayed auto-start (87) and never sends the shutdown or
// pre-shutdown controls, so these are proven here rather than end to end.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "config/ServiceSettings.h"
#include "diagnostics/Errors.h"
#include "fakes/LauncherWorld.h"
#include "service/ServiceMain.h"
#include "service/Verbs.h"
#include "unit/ServiceWorld.h"

using namespace kavrin;
using kavrin::test::ServiceWorld;

namespace {

struct InstallWorld : ServiceWorld {
    InstallWorld() {
        fake.module.narrowName = "C:\\Apps\\svc.exe";
        fake.module.wideName = u"C:\\Apps\\svc.exe";
    }
    int install() { return installVerb(ctx, config, "svc", scm::kStartAuto); }
    const CreateServiceParams& created() { return scm.services.at("svc").created; }
};

}  // namespace

TEST(ServiceSettings, AccountsAndTheInteractiveBit) {
    struct Row {
        const char* account;  // nullptr: unset
        const char* interactive;
        std::optional<std::string> startName;
        uint32_t serviceType;
    } rows[] = {
        {nullptr, nullptr, std::nullopt, 0x110},  // as the launcher always registered
        {"LocalSystem", "0", std::nullopt, 0x10},
        {"LocalService", nullptr, "NT AUTHORITY\\LocalService", 0x10},
        {"NetworkService", "1", "NT AUTHORITY\\NetworkService", 0x10},
        {"virtual", nullptr, "NT SERVICE\\svc", 0x10},
        {"CORP\\web$", nullptr, "CORP\\web$", 0x10},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.account ? r.account : "unset");
        InstallWorld w;
        if (r.account) w.set(key::kServiceAccount, r.account);
        if (r.interactive) w.set(key::kServiceInteractive, r.interactive);
        ASSERT_EQ(w.install(), 0) << w.out();
        EXPECT_EQ(w.created().startName, r.startName);
        EXPECT_EQ(w.created().serviceType, r.serviceType);
        EXPECT_FALSE(w.created().password);
        EXPECT_TRUE(w.fake.console.prompts.empty());
    }
}

TEST(ServiceSettings, AUsersPasswordComesFromTheEnvironmentOrThePromptAndIsNeverShown) {
    const std::string secret = "s3cret!";
    for (int source : {0, 1, 2}) {  // environment, console prompt, neither
        SCOPED_TRACE(source);
        InstallWorld w;
        w.fake.env.put("KAVRIN_LOG", "yes");
        w.set(key::kServiceAccount, "CORP\\alice");
        if (source == 0) w.fake.env.put("KAVRIN_SERVICE_PASSWORD", secret);
        if (source == 1) w.fake.console.secret = secret;
        const int code = w.install();
        if (source == 2) {
            EXPECT_EQ(code, 1);
            EXPECT_EQ(w.out(), "No password for the account 'CORP\\alice': set KAVRIN_SERVICE_PASSWORD.\n");
            EXPECT_TRUE(w.scm.creates.empty());
            continue;
        }
        ASSERT_EQ(code, 0);
        EXPECT_EQ(w.created().startName, "CORP\\alice");
        EXPECT_EQ(w.created().password, secret);
        EXPECT_EQ(w.fake.console.prompts, source == 1 ? "Password for CORP\\alice: " : "");
        EXPECT_EQ(w.out().find(secret), std::string::npos);
        EXPECT_EQ(w.fake.logText().find(secret), std::string::npos);
    }
}

TEST(ServiceSettings, InstallSetsDisplayNameRecoveryDelayedStartPreshutdownAndTheEventSource) {
    InstallWorld w;
    w.set(key::kServiceDisplayName, "My Service");
    w.set(key::kRecoveryActions, "restart,restart,none");
    w.set(key::kRecoveryRestartDelay, "30");
    w.set(key::kRecoveryResetPeriod, "86400");
    w.set(key::kRecoveryNonCrashFailures, "1");
    w.set(key::kServiceDelayedStart, "1");
    w.set(key::kPreshutdownTimeout, "120");
    ASSERT_EQ(w.install(), 0);
    const test::FakeService& s = w.scm.services.at("svc");
    EXPECT_EQ(s.created.displayName, "My Service");
    ASSERT_TRUE(s.failureActions);
    ASSERT_EQ(s.failureActions->actions.size(), 3u);
    EXPECT_EQ(s.failureActions->actions[0].type, FailureAction::Restart);
    EXPECT_EQ(s.failureActions->actions[1].delayMs, 30000u);
    EXPECT_EQ(s.failureActions->actions[2].type, FailureAction::None);
    EXPECT_EQ(s.failureActions->resetPeriodSeconds, 86400u);
    EXPECT_TRUE(s.failureActions->nonCrashFailures);
    EXPECT_EQ(s.delayedAutoStart, true);
    EXPECT_EQ(s.preshutdownMs, 120000u);
    const std::string source = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\svc";
    auto messageFile = w.fake.registry.value(RegRoot::LocalMachine, source, "EventMessageFile");
    ASSERT_TRUE(messageFile);
    EXPECT_EQ(messageFile->type, kRegExpandSz);
    EXPECT_EQ(messageFile->data, std::string("C:\\Apps\\svc.exe\0", 16));
    EXPECT_EQ(w.fake.registry.value(RegRoot::LocalMachine, source, "TypesSupported")->data, std::string("\7\0\0\0", 4));

    EXPECT_EQ(uninstallVerb(w.ctx, "svc", Messages::Print), 0);
    EXPECT_FALSE(w.fake.registry.keyExists(RegRoot::LocalMachine, source));
}

TEST(ServiceSettings, WithoutTheSettingsNothingMoreIsSetAndARefusalDoesNotFailTheInstall) {
    InstallWorld plain;
    ASSERT_EQ(plain.install(), 0);
    const test::FakeService& s = plain.scm.services.at("svc");
    EXPECT_EQ(s.created.displayName, "svc");
    EXPECT_FALSE(s.failureActions || s.delayedAutoStart || s.preshutdownMs);

    InstallWorld wine;  // delayed auto-start refused with 87, as Wine does
    wine.set(key::kServiceDelayedStart, "1");
    wine.scm.add("svc", scm::kStateStopped, "\"C:\\Apps\\svc.exe\"", scm::kStartDemand).delayedAutoStartRefused = true;
    EXPECT_EQ(configureVerb(wine.ctx, wine.config, "svc"), 0);
    EXPECT_EQ(wine.out(), "Configured service 'svc'.\n");
}

TEST(ServiceStop, PreshutdownIsAcceptedOnlyWhenConfiguredAndStopsLikeShutdown) {
    for (bool configured : {false, true}) {
        SCOPED_TRACE(configured);
        ServiceWorld w;
        if (configured) w.set(key::kPreshutdownTimeout, "60");
        ServiceRuntime rt;
        rt.processDeletionQueue = [&](Process&) { w.scm.sendControl(scm::kControlPreshutdown); };
        rt.splitArguments = [](Process&, const std::u16string&, std::vector<std::u16string>&) {};
        rt.loadJvm = [](Process&) { return std::optional<LoadedJvm>(); };
        ServiceSession session(w.ctx, w.config, rt, "x", {});
        test::exitOf([&] { serviceMain(session, {"x"}); });
        auto reports = w.scm.reports();
        ASSERT_GE(reports.size(), 2u);
        EXPECT_EQ(reports[0].controlsAccepted, configured ? 0x105u : 5u);
        EXPECT_EQ(reports[1].currentState, scm::kStateStopPending);
        EXPECT_EQ(reports[1].checkPoint, 1u);
        EXPECT_EQ(reports.back().currentState, scm::kStateStopped);
    }
}

TEST(ServiceStop, TheTimeoutAdvancesCheckpointsThenReportsStoppedAndSaysSo) {
    for (bool endsInTime : {false, true}) {
        SCOPED_TRACE(endsInTime);
        ServiceWorld w;
        ServiceSession session(w.ctx, w.config, {}, "x", {});
        session.status.fill(initialServiceStatus());
        session.status.apply(StatusEvent::StopControl);
        std::atomic<bool> ended{false};
        w.fake.clock.onSleep = [&](uint32_t) {
            if (endsInTime && w.fake.clock.sleptMs >= 2000) ended = true;
        };
        EXPECT_EQ(superviseStop(session, 5000, ended), !endsInTime);
        auto reports = w.scm.reports();
        std::vector<uint32_t> checkpoints;
        for (const auto& r : reports) checkpoints.push_back(r.checkPoint);
        if (endsInTime) {
            EXPECT_EQ(checkpoints, (std::vector<uint32_t>{0, 1}));
            EXPECT_TRUE(w.fake.console.events.empty());
            continue;
        }
        EXPECT_EQ(checkpoints, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 5}));
        EXPECT_EQ(reports[1].waitHint, kStopProgressWaitHintMs);
        EXPECT_EQ(reports.back().currentState, scm::kStateStopped);
        EXPECT_EQ(reports.back().win32ExitCode, 0u);
        ASSERT_EQ(w.fake.console.events.size(), 1u);
        EXPECT_EQ(w.fake.console.events[0].text,
                  "The application did not end within 5 seconds of the stop request; the service ends it.");
    }
}

TEST(ServiceErrors, UnderTheDispatcherErrorsGoToTheEventLogAndNeverToAConsoleOrBox) {
    for (bool messageBox : {false, true}) {
        ServiceWorld w;
        w.ctx.fatal.useMessageBox = messageBox;  // launcher types 1 and 5 would show a box
        w.ctx.fatal.eventSource = "svc";
        w.set(key::kMsgNoMainClass, "Couldn't load main class.");
        EXPECT_EQ(test::exitCodeOf([&] { reportFatalKey(w.ctx, w.config, key::kMsgNoMainClass, std::nullopt); }), 1u);
        ASSERT_EQ(w.fake.console.events.size(), 1u);
        EXPECT_EQ(w.fake.console.events[0].source, "svc");
        EXPECT_EQ(w.fake.console.events[0].type, Console::EventType::Error);
        EXPECT_EQ(w.fake.console.events[0].text, "Couldn't load main class.");
        EXPECT_EQ(w.fake.console.stderrText, "");
        EXPECT_TRUE(w.fake.console.boxes.empty());
    }
}
