#include <gtest/gtest.h>

#include "config/Config.h"
#include "config/ConfigBlock.h"
#include "config/Keys.h"
#include "fakes/LauncherWorld.h"
#include "fakes/PeImage.h"
#include "service/Help.h"
#include "service/Launcher.h"
#include "unit/ServiceWorld.h"

using namespace kavrin;
using kavrin::test::ServiceWorld;

namespace {

// A service world whose configuration carries the service name "svc".
struct NamedWorld : ServiceWorld {
    NamedWorld() { set(key::kServiceName, "svc"); }
};

// Runs the dispatch and tells whether the no-verb path was taken (and with which name).
struct DispatchResult {
    int code = -1;
    std::optional<std::string> noVerbName;
};

DispatchResult dispatch(ServiceWorld& w, const std::string& text) {
    DispatchResult r;
    r.code = dispatchCommand(w.ctx, w.config, text, [&](Process&, const std::string& serviceName) {
        r.noVerbName = serviceName;
        return 42;
    });
    return r;
}

}  // namespace

TEST(Dispatch, VerbsRunWithTheNameAfterTheVerbAndNoVerbsReachTheDispatcher) {
    struct Case {
        const char* text;
        const char* name;  // serviceName used
        bool dispatcher;   // reached the no-verb path
    } cases[] = {
        {"", "svc", true},          {"-status", "svc", false}, {"-status My Service", "My Service", false},
        {"-status ", "svc", false}, {"-Install x", "x", true},  // not a verb, but the name is taken
        {"install x", "svc", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        NamedWorld w;
        DispatchResult r = dispatch(w, c.text);
        EXPECT_EQ(r.noVerbName.has_value(), c.dispatcher);
        if (c.dispatcher) {
            EXPECT_EQ(r.code, 42);
            EXPECT_EQ(*r.noVerbName, c.name);
        } else {
            EXPECT_EQ(r.code, 1);  // the status of a service that does not exist
            EXPECT_EQ(w.scm.serviceOpens.at(0).name, c.name);
        }
    }
}

TEST(Dispatch, HelpPrintsTheUsageWithoutTouchingTheServiceOrTheFiles) {
    for (const char* text : {"-help", "-?", "/?", "--help", "/help ignored"}) {
        SCOPED_TRACE(text);
        NamedWorld w;
        DispatchResult r = dispatch(w, text);
        EXPECT_EQ(r.code, 0);
        EXPECT_FALSE(r.noVerbName);
        EXPECT_TRUE(w.scm.serviceOpens.empty());
        EXPECT_EQ(w.fake.console.stdoutText, usageText("svc.exe", "svc"));
    }
    const std::string usage = usageText("svc.exe", "My Service");
    for (const VerbName& verb : kVerbTable) EXPECT_NE(usage.find(verbUsage(verb.verb)), std::string::npos) << verb.text;
    EXPECT_NE(usage.find("service name this executable carries: My Service\n"), std::string::npos);
    EXPECT_NE(usage.find("docs/user-guide.md"), std::string::npos);
}

TEST(Dispatch, RunTakesItsOwnPathWithTheConfiguredName) {
    NamedWorld w;
    std::string runName;
    const int code = dispatchCommand(
        w.ctx, w.config, "-run a b", [](Process&, const std::string&) { return 42; },
        [&](Process&, const std::string& name) {
            runName = name;
            return 5;
        });
    EXPECT_EQ(code, 5);
    EXPECT_EQ(runName, "svc");
}

TEST(Dispatch, InstallStartTypeFollowsTheVerbAndTheLauncherType) {
    struct Case {
        const char* text;
        const char* launcherType;  // key 107, nullptr: absent
        uint32_t startType;
    } cases[] = {
        {"-install", "4", 2}, {"-install", "1", 3},      {"-install", nullptr, 3},
        {"-install", "5", 3}, {"-install-auto", "1", 2}, {"-install-demand", "4", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " type " + (c.launcherType ? c.launcherType : "absent"));
        NamedWorld w;
        if (c.launcherType) w.set(key::kLauncherType, c.launcherType);
        EXPECT_EQ(dispatch(w, c.text).code, 0);
        ASSERT_EQ(w.scm.creates.size(), 1u);
        EXPECT_EQ(w.scm.creates[0].startType, c.startType);
        EXPECT_EQ(w.scm.creates[0].name, "svc");
    }
}

TEST(Dispatch, EachVerbReachesItsOperation) {
    NamedWorld w;
    w.scm.add("svc", scm::kStateStopped, "C:\\App\\svc.exe", 3);
    EXPECT_EQ(dispatch(w, "-start").code, 0);
    EXPECT_EQ(dispatch(w, "/stop").code, 0);
    EXPECT_EQ(dispatch(w, "--uninstall").code, 0);
    EXPECT_EQ(w.out(),
              "Starting service 'svc'.\nStopping service 'svc'.\nService stopped\nUninstalled service 'svc'.\n");
}

// ---- PATH ------------------------------------------------------------------

TEST(PrependConfiguredPath, PutsTheResolvedDirectoriesInFront) {
    struct Case {
        const char* key;
        std::optional<std::string> path;
        std::string expected;
    } cases[] = {
        {"a;b", "C:\\Windows", "C:\\App\\a;C:\\App\\b;C:\\Windows"},
        {"a;b;", "C:\\Windows", "C:\\App\\a;C:\\App\\b;C:\\Windows"},
        {"D:\\tools", "C:\\Windows", "D:\\tools;C:\\Windows"},
        {"", "C:\\Windows", "C:\\Windows"},  // rewritten with its own value
        {"a", std::nullopt, "C:\\App\\a;"},
        {"", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        ServiceWorld w;
        w.set(key::kPathPrepend, c.key);
        w.fake.env.remove("PATH");
        if (c.path) w.fake.env.put("PATH", *c.path);
        prependConfiguredPath(w.ctx, w.config);
        EXPECT_EQ(w.fake.env.get("PATH"), c.expected);
        EXPECT_EQ(w.fake.env.crtGet("PATH"), c.expected);
    }
}

TEST(PrependConfiguredPath, LongPathIsKeptWholeInBothCopies) {
    // Beyond the old 16384/8192-byte buffers nothing may be cut off.
    ServiceWorld w;
    std::string old;
    while (old.size() < 20000) old += "C:\\Some\\Long\\Directory\\Name;";
    w.fake.env.put("PATH", old);
    w.set(key::kPathPrepend, "bin");
    prependConfiguredPath(w.ctx, w.config);
    EXPECT_EQ(w.fake.env.get("PATH"), "C:\\App\\bin;" + old);
    EXPECT_EQ(w.fake.env.crtGet("PATH"), "C:\\App\\bin;" + old);
}

TEST(PrependConfiguredPath, PathTheEnvironmentCannotHoldLeavesPathAlone) {
    ServiceWorld w;
    const std::string old(32760, 'p');
    w.fake.env.put("PATH", old);
    w.set(key::kPathPrepend, "bin");  // "C:\App\bin;" pushes it past 32766
    prependConfiguredPath(w.ctx, w.config);
    EXPECT_EQ(w.fake.env.get("PATH"), old);
    EXPECT_EQ(w.fake.env.crtGet("PATH"), old);

    ServiceWorld fits;
    const std::string justFits(32766 - std::string("C:\\App\\bin;").size(), 'p');
    fits.fake.env.put("PATH", justFits);
    fits.set(key::kPathPrepend, "bin");
    prependConfiguredPath(fits.ctx, fits.config);
    EXPECT_EQ(fits.fake.env.get("PATH"), "C:\\App\\bin;" + justFits);
}

// ---- initLauncher ----------------------------------------------------------

TEST(StartUp, ADamagedBlockOfAServiceStartGoesToTheEventLogNotAMessageBox) {
    for (const bool byManager : {true, false}) {
        SCOPED_TRACE(byManager);
        ServiceWorld w;
        w.scm.parentIsManager = byManager;
        w.fake.installExecutable(test::makePeImage() + "no block");
        routeErrorsOfAServiceStart(w.ctx);
        EXPECT_EQ(test::exitCodeOf([&] { readConfig(w.ctx); }), 1u);
        EXPECT_EQ(w.fake.console.boxes.size(), byManager ? 0u : 1u);
        ASSERT_EQ(w.fake.console.events.size(), byManager ? 1u : 0u);
        if (byManager) {
            EXPECT_EQ(w.fake.console.events[0].source, "svc");
        }
    }
}

TEST(InitLauncher, ReadsConfigurationThenSetsFlavourPathAndWorkingDirectory) {
    ServiceWorld w;
    ConfigBlock block;
    block.narrow = {{key::kFlavour, "mvx"}, {key::kPathPrepend, "a;b"}, {key::kWorkingDirectory, "work"}};
    w.fake.installExecutable(test::makePeImage() + encodeConfigBlock(block));
    w.fake.fs.addDirectory("C:\\App\\work");
    w.fake.env.put("PATH", "C:\\Windows");
    w.config = readConfig(w.ctx);
    initLauncher(w.ctx, w.config);
    EXPECT_EQ(configuredFlavour(w.config), 'm');
    EXPECT_EQ(w.fake.env.get("PATH"), "C:\\App\\a;C:\\App\\b;C:\\Windows");
    EXPECT_EQ(w.fake.fs.currentDirectory, "C:\\App\\work");
}

TEST(InitLauncher, EmptyWorkingDirectoryAndFlavourLeaveThingsAsTheyWere) {
    ServiceWorld w;
    w.fake.installExecutable(test::makePeImage() + encodeConfigBlock(ConfigBlock{}));
    w.fake.fs.currentDirectory = "D:\\Started\\Here";
    w.config = readConfig(w.ctx);
    initLauncher(w.ctx, w.config);
    EXPECT_EQ(configuredFlavour(w.config), 0);
    EXPECT_EQ(w.fake.fs.currentDirectory, "D:\\Started\\Here");
}
