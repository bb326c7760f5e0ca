// checkJavaExe, the probe and the version cache over the fake machine.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "jvm/Probe.h"
#include "unit/JvmWorld.h"

namespace kavrin {
namespace {

using test::JvmWorld;

constexpr const char* kExe = "C:\\Java\\jre6\\bin\\java.exe";
constexpr const char* kExeLower = "c:\\java\\jre6\\bin\\java.exe";
const std::string kCacheKey = "SOFTWARE\\dalvenco\\kavrin\\jvms\\c:/java/jre6/bin/java.exe";

class Probe : public JvmWorld {
protected:
    bool check(std::string exe, const std::string& minimum, const std::string& maximum = "", bool allowPre = false,
               std::string* version = nullptr, std::string* exeOut = nullptr) {
        std::string v;
        bool ok =
            checkJavaExe(ctx, config, exe, v, minimum, maximum, allowPre ? PreRelease::Allowed : PreRelease::Refused);
        if (version) *version = v;
        if (exeOut) *exeOut = exe;
        return ok;
    }
    std::optional<RegValue> cached(const std::string& name) {
        return fake.registry.value(RegRoot::CurrentUser, kCacheKey, name);
    }
};

TEST_F(Probe, AcceptedVersionIsCachedWithTheFileTime) {
    addJava(kExe, "1.6.0_03", 0, false, FileTime{0x0102030405060708ull});
    std::string version, exe;
    EXPECT_TRUE(check(kExe, "1.5", "", false, &version, &exe));
    EXPECT_EQ(version, "1.6.0_03");
    EXPECT_EQ(exe, kExeLower);
    EXPECT_EQ(fake.processes.commandLines, std::vector<std::string>{"\"c:\\java\\jre6\\bin\\java.exe\" -version"});

    auto time = cached("LastWriteTime");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->type, kRegBinary);
    EXPECT_EQ(time->data, std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    auto stored = cached("Version");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, kRegSz);
    EXPECT_EQ(stored->data, "1.6.0_03");  // no terminator

    EXPECT_TRUE(logged("checkJavaExe (C:\\Java\\jre6\\bin\\java.exe, [out], 1.5, , 0)"));
    EXPECT_TRUE(logged("file exists"));
    EXPECT_TRUE(logged("Exit Code 0"));
    EXPECT_TRUE(logged("Java version: 1.6.0_03"));
    EXPECT_TRUE(logged("got version from execution 1.6.0_03"));
    EXPECT_TRUE(logged("checkJavaExe returning 1"));
    // The probe's output file is gone.
    for (const auto& [path, node] : fake.fs.nodes) EXPECT_EQ(path.find("kvr"), std::string::npos) << path;
}

TEST_F(Probe, CacheSparesTheSecondRunUntilTheFileTimeChanges) {
    addJava(kExe, "1.6.0_03");
    EXPECT_TRUE(check(kExe, "1.5"));
    EXPECT_TRUE(check(kExe, "1.5"));
    EXPECT_EQ(totalRuns(), 1);
    EXPECT_TRUE(logged("got version from registry 1.6.0_03"));

    fake.fs.setLastWrite(kExe, FileTime{99});
    EXPECT_TRUE(check(kExe, "1.5"));
    EXPECT_EQ(totalRuns(), 2);
    EXPECT_EQ(cached("LastWriteTime")->data, fileTimeBytes(FileTime{99}));
}

TEST_F(Probe, CachedVersionIsJudgedAgainstTheBounds) {
    addJava(kExe, "1.6.0_03");
    EXPECT_TRUE(check(kExe, "1.5"));
    EXPECT_FALSE(check(kExe, "1.7"));
    EXPECT_FALSE(check(kExe, "", "1.5"));
    EXPECT_EQ(totalRuns(), 1);
}

TEST_F(Probe, TwoSpellingsOfOnePathShareOneEntry) {
    addJava(kExe, "1.6.0_03");
    EXPECT_TRUE(check("C:\\JAVA\\JRE6\\BIN\\JAVA.EXE", "1.5"));
    std::string exe;
    // Relative to the executable's directory C:\App.
    EXPECT_TRUE(check("..\\Java\\jre6\\bin\\java.exe", "1.5", "", false, nullptr, &exe));
    EXPECT_EQ(exe, kExeLower);
    EXPECT_EQ(totalRuns(), 1);
}

TEST_F(Probe, RelativePathIsTakenFromTheExecutablesDirectory) {
    addJava("C:\\App\\jre\\bin\\java.exe", "1.6.0_03");
    fake.fs.currentDirectory = "C:\\Windows";
    std::string exe;
    EXPECT_TRUE(check("jre\\bin\\java.exe", "1.5", "", false, nullptr, &exe));
    EXPECT_EQ(exe, "c:\\app\\jre\\bin\\java.exe");
}

TEST_F(Probe, CacheEntryWithAnotherTimeIsIgnoredAndRewritten) {
    addJava(kExe, "1.6.0_03", 0, false, FileTime{5});
    fake.registry.setString(RegRoot::CurrentUser, kCacheKey, "Version", "1.4.2");
    fake.registry.createKey(RegRoot::CurrentUser, kCacheKey)
        ->setValue("LastWriteTime", kRegBinary, fileTimeBytes(FileTime{4}));
    std::string version;
    EXPECT_TRUE(check(kExe, "1.5", "", false, &version));
    EXPECT_EQ(version, "1.6.0_03");
    EXPECT_EQ(cached("Version")->data, "1.6.0_03");
}

TEST_F(Probe, CacheTimeMustBeExactlyEightBytes) {
    addJava(kExe, "1.6.0_03", 0, false, FileTime{5});
    auto key = fake.registry.createKey(RegRoot::CurrentUser, kCacheKey);
    key->setValue("Version", kRegSz, "1.6.0_99");
    key->setValue("LastWriteTime", kRegBinary, fileTimeBytes(FileTime{5}) + std::string(1, '\0'));
    std::string version;
    EXPECT_TRUE(check(kExe, "1.5", "", false, &version));
    EXPECT_EQ(version, "1.6.0_03");
    EXPECT_EQ(totalRuns(), 1);
}

TEST_F(Probe, CachedVersionWithATerminatorReadsAsText) {
    addJava(kExe, "1.6.0_03", 0, false, FileTime{5});
    auto key = fake.registry.createKey(RegRoot::CurrentUser, kCacheKey);
    key->setValue("Version", kRegSz, std::string("1.6.0_07\0", 9));
    key->setValue("LastWriteTime", kRegBinary, fileTimeBytes(FileTime{5}));
    std::string version;
    EXPECT_TRUE(check(kExe, "1.5", "1.6.0_07", false, &version));
    EXPECT_EQ(version, "1.6.0_07");
    EXPECT_EQ(totalRuns(), 0);
}

TEST_F(Probe, NonZeroExitCachesTheFailedRunVersion) {
    addJava(kExe, "1.6.0_03", 1);
    EXPECT_FALSE(check(kExe, "1.5"));
    EXPECT_TRUE(logged("Exit Code 1"));
    EXPECT_TRUE(logged("couldn't get version"));
    EXPECT_TRUE(logged("checkJavaExe returning 0"));
    EXPECT_EQ(cached("Version")->data, "1.0.0");
    // Next time the cache answers 1.0.0: below 1.5, but no minimum accepts it.
    EXPECT_FALSE(check(kExe, "1.5"));
    std::string version;
    EXPECT_TRUE(check(kExe, "", "", false, &version));
    EXPECT_EQ(version, "1.0.0");
    EXPECT_EQ(totalRuns(), 1);
}

TEST_F(Probe, HangingProcessIsTerminatedAndNothingCached) {
    addJava(kExe, "1.6.0_03", 0, true);
    EXPECT_FALSE(check(kExe, ""));
    EXPECT_EQ(fake.processes.terminated, 1);
    EXPECT_TRUE(logged("Exit Code 259"));
    EXPECT_TRUE(logged("Terminating process"));
    EXPECT_TRUE(logged("couldn't get version"));
    EXPECT_FALSE(fake.registry.keyExists(RegRoot::CurrentUser, kCacheKey));
}

TEST_F(Probe, OtherFirstLinesYieldNoVersionAndNoCacheEntry) {
    for (std::string text : {std::string("Picked up _JAVA_OPTIONS: -Xmx1g\r\n") + versionLine("1.6.0_03"),
                             std::string("openjdk version \"17.0.2\" 2022-01-18\r\n"), std::string("")}) {
        fake.processes.programs.clear();
        fake.fs.addFile(kExe, "MZ");
        fake.processes.addProgram(kExe, test::FakeProgram{text, 0, false, {}});
        EXPECT_FALSE(check(kExe, "")) << text;
        EXPECT_FALSE(fake.registry.keyExists(RegRoot::CurrentUser, kCacheKey)) << text;
    }
}

TEST_F(Probe, CurrentVersionLineIsCutAtTheClosingQuote) {
    fake.fs.addFile(kExe, "MZ");
    fake.processes.addProgram(kExe, test::FakeProgram{"java version \"17.0.2\" 2022-01-18 LTS\r\n", 0, false, {}});
    std::string version;
    EXPECT_TRUE(check(kExe, "1.5", "", false, &version));
    EXPECT_EQ(version, "17.0.2");
}

TEST_F(Probe, MissingFileIsNotProbed) {
    EXPECT_FALSE(check(kExe, ""));
    EXPECT_TRUE(logged("file doesn't exist"));
    EXPECT_TRUE(logged("checkJavaExe returning 0"));
    EXPECT_EQ(totalRuns(), 0);
}

TEST_F(Probe, UnstartableProgramFails) {
    fake.fs.addFile(kExe, "MZ");  // no program behind it
    EXPECT_FALSE(check(kExe, ""));
    EXPECT_TRUE(logged("couldn't get version"));
    EXPECT_FALSE(fake.registry.keyExists(RegRoot::CurrentUser, kCacheKey));
}

TEST_F(Probe, ShortPathIsRunQuoted) {
    addJava("C:\\Program Files\\Java\\bin\\java.exe", "1.6.0_03");
    fake.fs.shortNames["c:\\program files\\java\\bin\\java.exe"] = "C:\\PROGRA~1\\Java\\bin\\java.exe";
    fake.processes.addProgram("C:\\PROGRA~1\\Java\\bin\\java.exe",
                              test::FakeProgram{versionLine("1.6.0_03"), 0, false, {}});
    EXPECT_TRUE(check("C:\\Program Files\\Java\\bin\\java.exe", "1.5"));
    EXPECT_EQ(fake.processes.commandLines.back(), "\"C:\\PROGRA~1\\Java\\bin\\java.exe\" -version");
}

TEST_F(Probe, PreReleaseFilteredUnlessAllowed) {
    addJava(kExe, "1.6.0-rc");
    EXPECT_FALSE(check(kExe, "1.5"));
    EXPECT_TRUE(check(kExe, "1.5", "", true));
}

TEST_F(Probe, GuiLauncherSwitchesToJavaw) {
    set(key::kLauncherType, "1");
    addJava(kExe, "1.6.0_03");
    std::string exe;
    EXPECT_FALSE(check(kExe, "1.5", "", false, nullptr, &exe));  // no javaw.exe yet
    EXPECT_EQ(exe, "c:\\java\\jre6\\bin\\javaw.exe");
    fake.fs.addFile("C:\\Java\\jre6\\bin\\javaw.exe", "MZ");
    EXPECT_TRUE(check(kExe, "1.5", "", false, nullptr, &exe));
    EXPECT_EQ(exe, "c:\\java\\jre6\\bin\\javaw.exe");
    // A rejected version keeps java.exe.
    EXPECT_FALSE(check(kExe, "1.7", "", false, nullptr, &exe));
    EXPECT_EQ(exe, kExeLower);
}

TEST_F(Probe, TestJavaExeWithoutTheCacheProbesAndRewrites) {
    addJava(kExe, "1.6.0_03");
    std::string exe = kExe;
    EXPECT_TRUE(testJavaExe(ctx, config, exe, "1.5", "", PreRelease::Refused, VersionCache::Use));
    exe = kExe;
    EXPECT_TRUE(testJavaExe(ctx, config, exe, "1.5", "", PreRelease::Refused, VersionCache::Skip));
    EXPECT_EQ(totalRuns(), 2);
    exe = kExe;  // the next test uses the cache again
    EXPECT_TRUE(testJavaExe(ctx, config, exe, "1.5", "", PreRelease::Refused, VersionCache::Use));
    EXPECT_EQ(totalRuns(), 2);
    exe = kExe;
    EXPECT_TRUE(testJavaExe(ctx, config, exe, "1.5", "", PreRelease::Refused, VersionCache::Use));
    EXPECT_EQ(totalRuns(), 2);
}

class FindJavaExe : public JvmWorld {};

TEST_F(Probe, ModernTakesTheReleaseFileWithoutARunAndCachesIt) {
    config = config.with(key::kJvmRules, "modern");
    addJava(kExe, "17.0.9");
    fake.fs.addFile("C:\\Java\\jre6\\release", "JAVA_VERSION=\"17.0.9\"\n");
    std::string version;
    EXPECT_TRUE(check(kExe, "1.8", "", false, &version));
    EXPECT_EQ(version, "17.0.9");
    EXPECT_EQ(totalRuns(), 0);
    EXPECT_TRUE(logged("got version from release file 17.0.9"));
    ASSERT_TRUE(cached("Version"));
    EXPECT_EQ(cached("Version")->data, "17.0.9");

    // Classic ignores the release file and refuses the OpenJDK wording.
    config = config.without(key::kJvmRules);
    fake.processes.addProgram(kExe, test::FakeProgram{"openjdk version \"17.0.9\" 2023-10-17\r\n", 0, false, {}});
    std::string exe = kExe;
    EXPECT_FALSE(testJavaExe(ctx, config, exe, "1.8", "", PreRelease::Allowed, VersionCache::Skip));
    EXPECT_EQ(totalRuns(), 1);
    EXPECT_TRUE(logged("couldn't get version"));
}

TEST_F(Probe, ModernProbesAHomeWithoutReleaseFileAndReadsTheOpenJdkLine) {
    config = config.with(key::kJvmRules, "modern");
    fake.fs.addFile(kExe, "MZ");
    fake.processes.addProgram(kExe, test::FakeProgram{"openjdk version \"17.0.9\" 2023-10-17\r\n", 0, false, {}});
    std::string version;
    EXPECT_TRUE(check(kExe, "9", "", false, &version));
    EXPECT_EQ(version, "17.0.9");
    EXPECT_EQ(totalRuns(), 1);
}

TEST_F(FindJavaExe, KitPrefersItsEmbeddedRuntimeAndPlainRuntimeItsOwn) {
    addJdk("C:\\jdk", "1.6.0_03");
    addJre("C:\\jre", "1.6.0_03");
    std::string exe;
    EXPECT_TRUE(findJavaExeInHome(ctx, config, exe, "C:\\jdk"));
    EXPECT_EQ(exe, "C:\\jdk\\jre\\bin\\java.exe");
    EXPECT_TRUE(findJavaExeInHome(ctx, config, exe, "C:\\jre"));
    EXPECT_EQ(exe, "C:\\jre\\bin\\java.exe");
    // Nothing there still answers true with bin\java.exe.
    EXPECT_TRUE(findJavaExeInHome(ctx, config, exe, "C:\\nothing"));
    EXPECT_EQ(exe, "C:\\nothing\\bin\\java.exe");
}

TEST_F(FindJavaExe, ModernKitSinceNineIsKnownByJavac) {
    config = config.with(key::kJvmRules, "modern");
    config = config.with(key::kJdkRequired, "1");
    fake.fs.addFile("C:\\Jdk17\\bin\\java.exe", "MZ");
    fake.fs.addFile("C:\\Jdk17\\bin\\javac.exe", "MZ");
    fake.fs.addFile("C:\\Jre17\\bin\\java.exe", "MZ");
    std::string exe;
    EXPECT_TRUE(findJavaExeInHome(ctx, config, exe, "C:\\Jdk17"));
    EXPECT_EQ(exe, "C:\\Jdk17\\bin\\java.exe");
    EXPECT_FALSE(findJavaExeInHome(ctx, config, exe, "C:\\Jre17"));
    config = config.without(key::kJvmRules);
    EXPECT_FALSE(findJavaExeInHome(ctx, config, exe, "C:\\Jdk17"));  // classic: tools.jar only
}

TEST_F(FindJavaExe, JdkRequiredNeedsToolsJar) {
    set(key::kJdkRequired, "1");
    addJdk("C:\\jdk", "1.6.0_03");
    addJdk("C:\\notools", "1.6.0_03", false);
    addJre("C:\\jre", "1.6.0_03");
    std::string exe;
    EXPECT_TRUE(findJavaExeInHome(ctx, config, exe, "C:\\jdk"));
    EXPECT_EQ(exe, "C:\\jdk\\jre\\bin\\java.exe");
    EXPECT_FALSE(findJavaExeInHome(ctx, config, exe, "C:\\notools"));
    EXPECT_FALSE(findJavaExeInHome(ctx, config, exe, "C:\\jre"));
    EXPECT_EQ(exe, "C:\\jre\\jre\\bin\\java.exe");
}

}  // namespace
}  // namespace kavrin
