// The launcher property list at the head of the options, and creating the JVM with it.
#include <gtest/gtest.h>

#include <jni.h>

#include "config/Keys.h"
#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"
#include "launch/jni/JavaVMLauncher.h"

namespace kavrin {
namespace {

using Options = std::vector<std::string>;

class LaunchPropertiesTest : public ::testing::Test, protected test::LauncherWorld {
protected:
    LaunchPropertiesTest() {
        placeModule(test::kServerExe, false);
        fake.console.codePage = 437;
        fake.processes.pid = 321;
        config = config.with(key::kFlavour, "k");
    }
    std::vector<std::string> properties(int32_t unextractedPosition = 0) {
        return buildLauncherProperties(ctx, config, launcherVariables(ctx, config, "", extraction.directory),
                                       unextractedPosition);
    }
    Extraction extraction;
};

TEST_F(LaunchPropertiesTest, LauncherFlavourHasFiveEntries) {
    EXPECT_EQ(properties(),
              (Options{"-Dkavrin.isService=true", "-Dkavrin.moduleName=C:\\Apps\\Server\\server.exe",
                       "-Dkavrin.tempDir=", "-Dkavrin.unextractedPosition=0", "-Dkavrin.consoleCodepage=cp437"}));
}

TEST_F(LaunchPropertiesTest, InstallerFlavourWithCommFileHasSevenEntriesInOrder) {
    config = config.with(key::kFlavour, "m");
    config = config.with(key::kPassProcessCommFile, "1");
    extraction.directory = "C:\\Temp\\kvr9";
    EXPECT_EQ(properties(-5),
              (Options{"-Dkavrin.isMolvex=true", "-Dkavrin.isService=true",
                       "-Dkavrin.moduleName=C:\\Apps\\Server\\server.exe",
                       "-Dkavrin.processCommFile=C:\\Temp\\kvr_p321.tmp", "-Dkavrin.tempDir=C:\\Temp\\kvr9",
                       "-Dkavrin.unextractedPosition=-5", "-Dkavrin.consoleCodepage=cp437"}));
}

TEST_F(LaunchPropertiesTest, ManpathEvenEmptySuppressesTheCodePage) {
    fake.env.crt["manpath"] = "";
    const Options options = properties();
    ASSERT_EQ(options.size(), 4u);
    EXPECT_EQ(options.back(), "-Dkavrin.unextractedPosition=0");
}

// What the stand-in JNI_CreateJavaVM saw.
struct Seen {
    static inline std::vector<std::string> options;
    static inline jint version = 0;
    static inline jboolean ignore = 0;
    static inline jint result = JNI_ERR;
};

jint JNICALL recordingCreateJavaVM(JavaVM** vm, void** env, void* argsPtr) {
    auto* args = static_cast<JavaVMInitArgs*>(argsPtr);
    Seen::options.clear();
    for (jint i = 0; i < args->nOptions; ++i) Seen::options.push_back(args->options[i].optionString);
    Seen::version = args->version;
    Seen::ignore = args->ignoreUnrecognized;
    *vm = nullptr;
    *env = nullptr;
    return Seen::result;
}

TEST_F(LaunchPropertiesTest, FailedCreationIsReportedAndLeavesNoHandles) {
    fake.env.put("KAVRIN_LOG", "yes");
    config = config.with(key::kVmParameters, "-Xrs");
    Seen::result = JNI_EINVAL;
    EXPECT_FALSE(launchProgram(ctx, config, LoadedJvm{"", &recordingCreateJavaVM}, extraction, {u"Server"}));
    EXPECT_EQ(Seen::version, JNI_VERSION_1_2);
    EXPECT_EQ(Seen::ignore, JNI_TRUE);
    ASSERT_EQ(Seen::options.size(), 8u);
    EXPECT_EQ(Seen::options[0], "-Dkavrin.isService=true");
    EXPECT_EQ(Seen::options[5], "-Xrs");
    EXPECT_EQ(Seen::options[6], "-Djava.class.path=");
    EXPECT_EQ(Seen::options[7], "exit");  // the JVM's exit hook, last
    const std::string log = fake.logText();
    EXPECT_NE(log.find("launching program"), std::string::npos) << log;
    EXPECT_NE(log.find("Creating JVM"), std::string::npos) << log;
    EXPECT_NE(log.find("ERROR: could not initialize JVM"), std::string::npos) << log;
    EXPECT_EQ(log.find("JVM created"), std::string::npos) << log;
}

TEST_F(LaunchPropertiesTest, WithoutAJvmLibraryTheLaunchFails) {
    EXPECT_FALSE(launchProgram(ctx, config, LoadedJvm{}, extraction, {}));
    RunningJvm none;
    none.callSystemExit(ctx);  // nothing to stop: a no-op
}

}  // namespace
}  // namespace kavrin
