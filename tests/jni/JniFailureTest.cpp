// The failure rows of the JNI launch path, over the emulated JVM of the stand-in
// jvm.dll (JniWorld), in process: fatal exits come back as ProcessExit.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "JniWorld.h"
#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"
#include "launch/jni/JavaVMLauncher.h"

namespace kavrin {
namespace {

using Lines = std::vector<std::string>;

class JniFailure : public ::testing::Test, protected test::LauncherWorld {
protected:
    JniFailure() {
        placeModule();
        fake.env.put("KAVRIN_LOG", "yes");
        ctx.fatal.useMessageBox = false;
        set(key::kFlavour, "k");
        set(key::kMsgNoMainClass, "Couldn't load main class.");
        set(key::kMsgNoMainMethod, "Main method not found.");
        set(key::kMsgInternalError, "An internal error occurred (error code: {0})");
        set(key::kMainClass, "org.example.App");
        set(key::kRouteJArguments, "1");
        world.onRecord = [this](const std::string& line) { record.push_back(line); };
        world.onExit = [this](jint status) { exits.push_back(status); };
    }
    void installer(bool marker) {
        set(key::kFlavour, "m");
        set(key::kInstallDirectory, "..\\");
        if (marker) fake.fs.addFile("C:\\Apps\\.molvex\\firstrun", "");
    }
    // The launch as the service runs it, over the scripted JVM.
    std::optional<RunningJvm> launch(const std::vector<std::u16string>& arguments = {u"Server"}) {
        return launchProgram(ctx, config, LoadedJvm{"", &JniWorld::createJavaVM}, Extraction{}, arguments);
    }
    bool recorded(const std::string& line) const {
        return std::find(record.begin(), record.end(), line) != record.end();
    }
    bool logged(const std::string& text) const { return fake.logText().find(text) != std::string::npos; }
    // The fatal exit's text; fails the test when the launch went through or exited otherwise.
    std::string fatal() {
        const std::string text = fatalText([&] { launch({u"Server"}); });
        // With the log on, the message names the log file after a blank line.
        const size_t logNote = text.find("\nLog: ");
        EXPECT_NE(logNote, std::string::npos) << text;
        return text.substr(0, logNote);
    }

    JniWorld world;
    Lines record;
    std::vector<jint> exits;
};

TEST_F(JniFailure, SuccessfulLaunchLogsEachStepAndPassesArgumentsAsUtf16) {
    EXPECT_TRUE(launch({u"Server", u"-J-Xmx1m", u"caf\u00e9 \u4e2d"}));
    auto main = std::find(record.begin(), record.end(), "main argc=7");
    ASSERT_NE(main, record.end());
    EXPECT_EQ(Lines(main, record.end()), (Lines{"main argc=7", "arg false", "arg org.example.App", "arg ", "arg ",
                                                "arg false", "arg Server", "arg caf\u00e9 \u4e2d"}));
    // The log shows the file-API code page's text: "?" where it has no character.
    for (const char* line :
         {"launching program", "Creating JVM", "JVM created", "main class: com/kavrin/runtime/WinLauncher",
          "param count: 7", "param 6: caf\xe9 ?", "calling main", "main returned", "launch done"}) {
        EXPECT_TRUE(logged(line)) << line << "\n" << fake.logText();
    }
}

TEST_F(JniFailure, CreationFailureReturnsFalse) {
    world.fail.insert("fail-create");
    EXPECT_FALSE(launch({u"Server"}));
    EXPECT_TRUE(logged("ERROR: could not initialize JVM"));
    EXPECT_FALSE(recorded("FindClass com/kavrin/runtime/WinLauncher"));
}

TEST_F(JniFailure, MissingStartClassIsMessage1010BeforeAnyArgumentIsConverted) {
    world.fail.insert("class-missing");
    EXPECT_EQ(fatal(), "Couldn't load main class.\n");
    EXPECT_TRUE(logged("ERROR: could not find main class"));
    EXPECT_FALSE(logged("param count"));
}

TEST_F(JniFailure, MissingMainMethodIsMessage1011) {
    world.fail.insert("method-missing");
    EXPECT_EQ(fatal(), "Main method not found.\n");
    EXPECT_TRUE(logged("ERROR: could not find main method"));
}

TEST_F(JniFailure, MainThrowingFailsTheLaunchAfterDescribingTheException) {
    world.fail.insert("main-throws");
    EXPECT_FALSE(launch({u"Server"}));
    EXPECT_TRUE(recorded("ExceptionDescribe java/lang/IllegalStateException"));
    const std::string log = fake.logText();
    const size_t exception = log.find("ERROR: an exception occured");
    ASSERT_NE(exception, std::string::npos) << log;
    EXPECT_NE(log.find("ERROR: could not call main", exception), std::string::npos) << log;
    EXPECT_FALSE(logged("launch done"));
}

TEST_F(JniFailure, FirstRunRows) {
    struct Case {
        const char* word;
        bool marker;
        const char* fatalText;  // nullptr: the launch returns true
        bool mainCalled;
    } cases[] = {
        {"", false, nullptr, true},
        {"", true, nullptr, true},
        {"firstrun-false", true, nullptr, false},
        {"firstrun-throws", true, nullptr, false},
        {"firstrun-false", false, nullptr, true},  // no marker: the hook is never asked
        {"firstrun-class-missing", true, "An internal error occurred (error code: 14)\n", false},
        {"firstrun-method-missing", true, "An internal error occurred (error code: 15)\n", false},
    };
    for (const Case& c : cases) {
        // Fresh state per row; the log is judged by what this row added.
        const size_t logStart = fake.logText().size();
        record.clear();
        fake.console.stderrText.clear();
        world.fail = {c.word};
        fake.fs.deleteFile("C:\\Apps\\.molvex\\firstrun");
        installer(c.marker);
        SCOPED_TRACE(std::string(c.word) + (c.marker ? " with marker" : " without marker"));
        if (c.fatalText) {
            EXPECT_EQ(fatal(), c.fatalText);
        } else {
            EXPECT_TRUE(launch({u"Server"}));
        }
        EXPECT_EQ(recorded("firstRun"), c.marker && !c.fatalText);
        EXPECT_EQ(recorded("FindClass com/molvex/runtime/FirstRun"),
                  c.marker && std::string(c.word) != "firstrun-class-missing");
        EXPECT_EQ(recorded("main argc=6"), c.mainCalled);
        const bool stopped =
            fake.logText().find("checkFirstRun stopped further execution", logStart) != std::string::npos;
        EXPECT_EQ(stopped, !c.fatalText && !c.mainCalled);
    }
}

TEST_F(JniFailure, SystemExitRoutes) {
    struct Case {
        std::set<std::string> words;
        Lines tail;
        const char* logLine;
    } cases[] = {
        {{}, {"FindClass java/lang/Shutdown", "exit 0 via Shutdown", "DestroyJavaVM"}, nullptr},
        {{"shutdown-missing"},
         {"missing java/lang/Shutdown", "FindClass java/lang/System", "exit 0 via System", "DestroyJavaVM"},
         nullptr},
        {{"exit-throws"}, {"FindClass java/lang/Shutdown", "exit 0 throws"}, "Could not call System.exit() 1"},
        {{"exit-throws", "shutdown-missing"},
         {"missing java/lang/Shutdown", "FindClass java/lang/System", "exit 0 throws"},
         "Could not call System.exit() 0"},
    };
    for (const Case& c : cases) {
        world.fail = c.words;
        std::optional<RunningJvm> jvm = launch();
        ASSERT_TRUE(jvm);
        record.clear();
        jvm->callSystemExit(ctx);
        EXPECT_EQ(record, c.tail);
        if (c.logLine) {
            EXPECT_TRUE(logged(c.logLine)) << c.logLine;
        }
        EXPECT_EQ(world.pending, nullptr);  // nothing is left pending
    }
}

TEST_F(JniFailure, TheApplicationsExitCodeReachesTheLauncherThroughTheExitHook) {
    ASSERT_TRUE(launch());
    EXPECT_TRUE(recorded("option exit"));
    EXPECT_FALSE(recordedExitCode(ctx));
    world.applicationExit(3);  // System.exit(3): the JVM calls the hook first
    EXPECT_EQ(exits, std::vector<jint>{3});
    EXPECT_EQ(recordedExitCode(ctx), 3u);
}

using JniFailureDeathTest = JniFailure;

TEST_F(JniFailureDeathTest, NullArgumentArrayOrStringIsAnInternalAssertion) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    world.fail.insert("array-null");
    EXPECT_DEATH(launch({u"Server"}), "Assertion failed: paramArray, file windows/JavaVMLauncher, line 381");
    world.fail = {"string-null"};
    EXPECT_DEATH(launch({u"Server"}), "Assertion failed: jstr, file windows/JavaVMLauncher, line 389");
}

}  // namespace
}  // namespace kavrin
