// The JNI launch path against a real JVM (OpenJDK's libjvm.so).
//
// The launcher logic runs over the fake platform, so its paths are Windows paths
// under "C:\". The real files those paths name live under a scratch directory; the
// one place a path reaches the JVM as a path, the class path option, is mapped to
// it by the JNI_CreateJavaVM shim below (";" -> ":", "C:\" -> the scratch
// directory, "\" -> "/"), after the shim recorded the options exactly as the
// launcher built them.
//
// Each scenario runs in a forked child (one JVM per process); the parent asserts
// on the child's exit status and on the files it and the Java side wrote.
#include <gtest/gtest.h>
#include <jni.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ClassPathShim.h"
#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"
#include "launch/jni/JavaVMLauncher.h"

extern char** environ;

namespace kavrin {
namespace {

namespace fs = std::filesystem;

fs::path gScratch;  // the child's "C:\"

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

jint JNICALL shimCreateJavaVM(JavaVM** vm, void** env, void* argsPtr) {
    auto* args = static_cast<JavaVMInitArgs*>(argsPtr);
    std::string recorded;
    for (jint i = 0; i < args->nOptions; ++i) recorded += std::string(args->options[i].optionString) + "\n";
    writeFile(gScratch / "options.txt", recorded);
    return test::createWithMappedClassPath(gScratch, vm, env, *args);
}

bool waitForFile(const fs::path& path, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (fs::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The world of one scenario, prepared in the parent and acted out in the child.
struct Scenario : test::LauncherWorld {
    std::vector<std::u16string> launcherArguments{u"Server", u"-J-Dprobe.fromJ=from J", u"plain",
                                                  u"\u00e9\u0436\u4e2d\U0001F600"};
    LoadedJvm jvm{"", &shimCreateJavaVM};
    Extraction extraction{"C:\\temp\\kvr5", {}, 123456};
    std::optional<RunningJvm> running;           // once launched
    std::function<void(Scenario&)> afterLaunch;  // what the child does once main returned

    Scenario() {
        placeModule("C:\\app\\server.exe");
        fake.console.codePage = 437;
        ctx.fatal.useMessageBox = false;
        set(key::kFlavour, "k");
        set(key::kMsgNoMainClass, "Couldn't load main class.");
        set(key::kMsgNoMainMethod, "Main method not found.");
        set(key::kMsgInternalError, "An internal error occurred (error code: {0})");
        set(key::kLauncherType, "4");
        set(key::kMainClass, "jnitest.ProbeApp");
        set(key::kPassErrorLog, "1");
        set(key::kErrorLogFile, "C:\\logs\\err.log");
        set(key::kStartClassFlag, "1");
        set(key::kClassPath, "S0lib;");
        set(key::kVmParameters, " -Xrs \"-Dprobe.fromKey123=k 123\"");
        set(key::kArguments, "\"fixed one\" two");
        set(key::kRouteJArguments, "1");
        addJar("C:\\app\\lib\\kavrin-runtime.jar", KAVRIN_RUNTIME_JAR);
        addJar("C:\\app\\lib\\probe.jar", KAVRIN_PROBE_JAR);
        fake.fs.addFile("C:\\app\\server.vmoptions", "# options\n-Dprobe.fromVmOptions=from vmoptions\n");
    }
    // A file the launcher lists through the fake and the JVM reads from disk.
    void addJar(const std::string& windowsPath, const fs::path& real) {
        fake.fs.addFile(windowsPath, "");
        std::string relative = windowsPath.substr(3);
        for (char& c : relative) c = c == '\\' ? '/' : c;
        fs::create_directories((gScratch / relative).parent_path());
        fs::copy_file(real, gScratch / relative, fs::copy_options::overwrite_existing);
    }

    // Runs in the child; never returns.
    [[noreturn]] void act() {
        setenv("PROBE_OUT", (gScratch / "probe.txt").c_str(), 1);
        setenv("PROBE_HOOK", (gScratch / "hook.txt").c_str(), 1);
        if (chdir(gScratch.c_str()) != 0) _exit(90);
        try {
            running = launchProgram(ctx, config, jvm, extraction, launcherArguments);
            const bool launched = running.has_value();
            writeFile(gScratch / "child.txt", std::string("launched=") + (launched ? "true" : "false") + "\n");
            if (afterLaunch) afterLaunch(*this);
            _exit(0);
        } catch (const test::ProcessExit& e) {
            writeFile(gScratch / "child.txt", "exit=" + std::to_string(e.code) + "\n" + fake.console.stderrText);
            _exit(static_cast<int>(e.code));
        }
    }
};

class JniLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kavrin-jni-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        gScratch = pattern;
        scenario = std::make_unique<Scenario>();
    }
    void TearDown() override { fs::remove_all(gScratch); }

    // Forks, acts the scenario out in the child and returns its exit status (-1: killed).
    int run() {
        const pid_t pid = fork();
        if (pid == 0) scenario->act();
        int status = 0;
        for (int i = 0; i < 1200; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "the child did not finish in time";
        return -1;
    }
    std::string file(const char* name) { return readFile(gScratch / name); }
    static void waitForProbe(Scenario&) {
        if (!waitForFile(gScratch / "probe.txt", 30)) _exit(80);
    }

    std::unique_ptr<Scenario> scenario;
};

TEST_F(JniLaunch, TheApplicationSeesPropertiesClassPathOptionsAndArguments) {
    scenario->afterLaunch = waitForProbe;
    ASSERT_EQ(run(), 0) << file("child.txt");
    EXPECT_EQ(file("child.txt"), "launched=true\n");

    // The options as the launcher built them, byte for byte.
    EXPECT_EQ(file("options.txt"),
              "-Dkavrin.isService=true\n"
              "-Dkavrin.moduleName=C:\\app\\server.exe\n"
              "-Dkavrin.tempDir=C:\\temp\\kvr5\n"
              "-Dkavrin.unextractedPosition=123456\n"
              "-Dkavrin.consoleCodepage=cp437\n"
              "-Xrs\n"
              "-Dprobe.fromKey123=k 123\n"
              "-Dprobe.fromJ=from J\n"
              "-Dprobe.fromVmOptions=from vmoptions\n"
              "-Djava.class.path=C:\\app\\lib\\kavrin-runtime.jar;C:\\app\\lib\\probe.jar;\n"
              "exit\n");

    const std::string cp =
        gScratch.string() + "/app/lib/kavrin-runtime.jar:" + gScratch.string() + "/app/lib/probe.jar";
    EXPECT_EQ(file("probe.txt"),
              "thread=main daemon=false\n"
              "prop kavrin.isMolvex absent\n"
              "prop kavrin.isService=true\n"
              "prop kavrin.moduleName=C:\\app\\server.exe\n"
              "prop kavrin.processCommFile absent\n"
              "prop kavrin.tempDir=C:\\temp\\kvr5\n"
              "prop kavrin.unextractedPosition=123456\n"
              "prop kavrin.consoleCodepage=cp437\n"
              "prop java.class.path=" +
                  cp +
                  "\n"
                  "prop probe.fromVmOptions=from vmoptions\n"
                  "prop probe.fromJ=from J\n"
                  "prop probe.fromKey123=k 123\n"
                  "start [false]\n"
                  "start [jnitest.ProbeApp]\n"
                  "start [C:\\logs\\err.log]\n"
                  "start []\n"
                  "start [true]\n"
                  "argc=5\n"
                  "arg [Server]\n"
                  "arg [fixed one]\n"
                  "arg [two]\n"
                  "arg [plain]\n"
                  "arg [\u00e9\u0436\u4e2d\U0001F600]\n");
    // The error log received what the application wrote to System.err (the name is a
    // Windows path, so on Linux it is one file name in the working directory).
    EXPECT_EQ(file("C:\\logs\\err.log"), "probe: to the error stream\n");
}

TEST_F(JniLaunch, ManpathSuppressesTheConsoleCodePage) {
    scenario->fake.env.crt["manpath"] = "";
    scenario->afterLaunch = waitForProbe;
    ASSERT_EQ(run(), 0) << file("child.txt");
    EXPECT_NE(file("probe.txt").find("prop kavrin.consoleCodepage absent\n"), std::string::npos) << file("probe.txt");
    EXPECT_EQ(file("options.txt").find("consoleCodepage"), std::string::npos);
}

TEST_F(JniLaunch, MissingStartClassEndsWithMessage1010AndExitCode1) {
    scenario->set(key::kClassPath, "A0C:\\app\\lib\\probe.jar");
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(file("child.txt"), "exit=1\nCouldn't load main class.\n");
    EXPECT_FALSE(fs::exists(gScratch / "probe.txt"));
}

TEST_F(JniLaunch, CallSystemExitRunsShutdownHooksAndEndsTheProcessWithZero) {
    scenario->afterLaunch = [](Scenario& s) {
        waitForProbe(s);
        s.running->callSystemExit(s.ctx);
        _exit(99);  // Shutdown.exit never returns
    };
    EXPECT_EQ(run(), 0) << file("child.txt");
    EXPECT_EQ(file("hook.txt"), "hook ran\n");
}

// The JVM ends the process itself (System.exit in the application): its exit hook has
// told the launcher the code first, which is what the service reports to the manager.
TEST_F(JniLaunch, SystemExitOfTheApplicationReachesTheLauncherThroughTheExitHook) {
    setenv("PROBE_EXIT", "3", 1);
    setenv("PROBE_EXIT_GO", (gScratch / "go").c_str(), 1);
    scenario->afterLaunch = [](Scenario& s) {
        waitForProbe(s);
        static Process* recorded = &s.ctx;  // read by the atexit handler as the JVM exits
        std::atexit([] {
            const std::optional<uint32_t> code = recordedExitCode(*recorded);
            writeFile(gScratch / "recorded.txt", code ? std::to_string(*code) : "none");
        });
        writeFile(gScratch / "go", "");
        std::this_thread::sleep_for(std::chrono::seconds(30));
        _exit(99);
    };
    const int status = run();
    unsetenv("PROBE_EXIT");
    unsetenv("PROBE_EXIT_GO");
    EXPECT_EQ(status, 3) << file("child.txt");
    EXPECT_EQ(file("recorded.txt"), "3");
}

// Installer flavour: the runtime archive under the installation directory comes
// first on the class path; its FirstRun says no.
void useInstallerRuntime(Scenario& s, bool marker) {
    s.set(key::kFlavour, "m");
    s.set(key::kInstallDirectory, "C:\\inst");
    s.addJar("C:\\inst\\.molvex\\mvxruntime.jar", KAVRIN_FIRSTRUN_FALSE_JAR);
    if (marker) s.fake.fs.addFile("C:\\inst\\.molvex\\firstrun", "");
}

// WinLauncher.startParameters() is empty exactly when its main never ran.
int startParameterCount(Scenario& s) {
    JNIEnv* env = s.running->env();
    jclass launcher = env->FindClass("com/kavrin/runtime/WinLauncher");
    jmethodID get = env->GetStaticMethodID(launcher, "startParameters", "()[Ljava/lang/String;");
    auto array = static_cast<jobjectArray>(env->CallStaticObjectMethod(launcher, get));
    return env->GetArrayLength(array);
}

TEST_F(JniLaunch, InstallerFlavourFirstRunFalseStopsBeforeMain) {
    useInstallerRuntime(*scenario, true);
    scenario->fake.env.put("KAVRIN_LOG", "yes");
    scenario->afterLaunch = [](Scenario& s) {
        writeFile(gScratch / "after.txt",
                  "start parameters: " + std::to_string(startParameterCount(s)) + "\n" + s.fake.logText());
    };
    ASSERT_EQ(run(), 0) << file("child.txt");
    EXPECT_EQ(file("child.txt"), "launched=true\n");
    const std::string after = file("after.txt");
    EXPECT_EQ(after.rfind("start parameters: 0\n", 0), 0u) << after;
    EXPECT_NE(after.find("checkFirstRun stopped further execution"), std::string::npos) << after;
    EXPECT_EQ(after.find("calling main"), std::string::npos) << after;
    EXPECT_NE(file("options.txt").find("-Dkavrin.isMolvex=true\n-Dkavrin.isService=true\n"), std::string::npos);
    EXPECT_NE(file("options.txt").find("-Djava.class.path=C:\\inst\\.molvex\\mvxruntime.jar;C:\\app\\lib\\"),
              std::string::npos)
        << file("options.txt");
}

TEST_F(JniLaunch, InstallerFlavourWithoutMarkerCallsMain) {
    useInstallerRuntime(*scenario, false);
    scenario->afterLaunch = waitForProbe;
    ASSERT_EQ(run(), 0) << file("child.txt");
    EXPECT_NE(file("probe.txt").find("prop kavrin.isMolvex=true\n"), std::string::npos) << file("probe.txt");
}

// WinLauncher on its own: appends to log files, creating their directories, and
// fails (an exception out of main) for a missing main class.
int runJava(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KAVRIN_JAVA, "-cp", std::string(KAVRIN_RUNTIME_JAR) + ":" + KAVRIN_PROBE_JAR,
                                  "com.kavrin.runtime.WinLauncher"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, raw[0], nullptr, nullptr, raw.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(JniLaunch, WinLauncherAppendsToLogFilesInNewDirectories) {
    const fs::path err = gScratch / "new" / "dir" / "err.log";
    const fs::path out = gScratch / "other" / "out.log";
    writeFile(out, "earlier\n");
    setenv("PROBE_OUT", (gScratch / "probe.txt").c_str(), 1);
    ASSERT_EQ(runJava({"false", "jnitest.ProbeApp", err.string(), out.string(), "false", "x"}), 0);
    unsetenv("PROBE_OUT");
    EXPECT_EQ(readFile(err), "probe: to the error stream\n");
    EXPECT_EQ(readFile(out), "earlier\nprobe: to the output stream\n");
    EXPECT_NE(file("probe.txt").find("argc=1\narg [x]\n"), std::string::npos);
}

TEST_F(JniLaunch, WinLauncherThrowsOutOfMainForAMissingMainClassOrMethod) {
    struct Row {
        const char* mainClass;
        const char* named;
    } rows[] = {{"no.such.Main", "java.lang.ClassNotFoundException: WinLauncher: main class not found: no.such.Main"},
                {"java.lang.Object",
                 "java.lang.NoSuchMethodException: WinLauncher: main method not found in class java.lang.Object"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mainClass);
        const fs::path err = gScratch / "err.log";
        fs::remove(err);
        EXPECT_EQ(runJava({"false", r.mainClass, err.string(), "", "false"}), 1);  // the uncaught exception
        EXPECT_NE(readFile(err).find(r.named), std::string::npos) << readFile(err);
    }
}

}  // namespace
}  // namespace kavrin
