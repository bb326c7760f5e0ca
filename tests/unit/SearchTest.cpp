// searchJvm over the fake machine: the sources in order, the kinds, the fallback pass.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "jvm/Search.h"
#include "unit/JvmWorld.h"

namespace kavrin {
namespace {

class Search : public test::JvmWorld {
protected:
    Search() {
        set(key::kMinVersion, "1.5");
        set(key::kFlavour, "k");
    }
    struct Result {
        SearchKind kind;
        std::string javaExe;
        std::string name;
    };
    Result search() {
        Result r{SearchKind::None, "", "<unset>"};
        r.kind = searchJvm(ctx, config, r.javaExe, r.name);
        return r;
    }
    void preferred(const std::string& text) { fake.fs.addFile("C:\\App\\.molvex\\pref_jre.cfg", text); }
    void installer(const std::string& text) { fake.fs.addFile("C:\\App\\.molvex\\inst_jre.cfg", text); }
};

TEST_F(Search, PreferredLocationComesFirst) {
    addJre("C:\\pref", "1.6.0_03");
    addJre("C:\\seq", "1.6.0_03");
    preferred("C:\\Pref\r\n");
    set(key::kSearchSequence, "BC:\\seq");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Location);
    EXPECT_EQ(r.javaExe, "c:\\pref\\bin\\java.exe");
    EXPECT_EQ(r.name, "C:\\Pref");
    EXPECT_TRUE(logged("Has preferred location C:\\Pref"));
    EXPECT_TRUE(logged("Using preferred location"));
}

TEST_F(Search, PreferredLocationOutOfRangeIsPassedOver) {
    addJre("C:\\pref", "1.4.2");
    addJre("C:\\seq", "1.6.0_03");
    preferred("C:\\pref\n");
    set(key::kSearchSequence, "BC:\\seq");
    auto r = search();
    EXPECT_EQ(r.javaExe, "c:\\seq\\bin\\java.exe");
    EXPECT_EQ(r.name, "C:\\seq");
    EXPECT_FALSE(logged("Using preferred location"));
}

TEST_F(Search, InstallationDirectoryComesFromKey10003) {
    set(key::kInstallDirectory, "..\\");
    fake.fs.addFile("C:\\.molvex\\pref_jre.cfg", "App\\jre\n");  // relative to the executable's directory
    addJre("C:\\App\\App\\jre", "1.6.0_03");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Location);
    EXPECT_EQ(r.javaExe, "c:\\app\\app\\jre\\bin\\java.exe");
}

TEST_F(Search, EntriesAreTriedInOrderAndSeparatorsChangeNothing) {
    addJre("C:\\old", "1.4.2");
    addJre("C:\\new", "1.6.0_03");
    set(key::kSearchSequence, ";;AC:\\old;;xC:\\new;bC:\\new;RC:\\new;");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Location);
    EXPECT_EQ(r.name, "C:\\new");
    EXPECT_TRUE(loggedBefore("Testing location C:\\old (type A)", "Testing location C:\\new (type x)"));
    EXPECT_TRUE(loggedBefore("Testing location C:\\new (type b)", "Testing location C:\\new (type R)"));
    // Only the A and R entries ran anything.
    EXPECT_EQ(totalRuns(), 2);
}

TEST_F(Search, LocationsAcceptPreReleaseVersions) {
    addJre("C:\\rc", "1.6.0-rc");
    set(key::kSearchSequence, "BC:\\rc");
    EXPECT_EQ(search().kind, SearchKind::Location);
}

TEST_F(Search, EnvironmentVariableEntry) {
    addJdk("C:\\jdk", "1.6.0_03");
    fake.env.put("JAVA_HOME", "c:/jdk");
    set(key::kSearchSequence, "EJAVA_HOME");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::EnvironmentVariable);
    EXPECT_EQ(r.name, "JAVA_HOME");
    EXPECT_EQ(r.javaExe, "c:\\jdk\\jre\\bin\\java.exe");
    EXPECT_TRUE(logged("checkJavaExe (c:\\jdk\\jre\\bin\\java.exe, [out], 1.5, , 0)"));
}

TEST_F(Search, EnvironmentVariableFiltersPreReleaseUnlessKey130) {
    addJre("C:\\rc", "1.6.0-rc");
    fake.env.put("JAVA_HOME", "C:\\rc");
    set(key::kSearchSequence, "EJAVA_HOME");
    EXPECT_EQ(search().kind, SearchKind::None);
    set(key::kAllowPreRelease, "1");
    EXPECT_EQ(search().kind, SearchKind::EnvironmentVariable);
}

TEST_F(Search, UnsetOrEmptyVariableIsSkipped) {
    fake.env.put("EMPTY", "");
    set(key::kSearchSequence, "EEMPTY;EUNSET");
    EXPECT_EQ(search().kind, SearchKind::None);
    EXPECT_EQ(totalRuns(), 0);
}

TEST_F(Search, VariableLongerThanItsBufferIsRefusedNotCut) {
    addJre("C:\\jre", "1.6.0_03");
    fake.env.put("LONG_HOME", "C:\\" + std::string(8190, 'a'));  // 8193 characters
    fake.env.put("FITS", "C:\\jre");
    set(key::kSearchSequence, "ELONG_HOME;EFITS");
    auto r = search();
    EXPECT_EQ(r.name, "FITS");
    // Only FITS reached checkJavaExe.
    std::string text = log();
    EXPECT_EQ(text.find("checkJavaExe ("), text.rfind("checkJavaExe ("));
}

TEST_F(Search, ExecutableSearchEntry) {
    addJre("C:\\jre", "1.6.0_03");
    fake.fs.executableSearchPath = {"C:\\Windows", "C:\\jre\\bin"};
    set(key::kSearchSequence, "S");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::ExecutableSearch);
    EXPECT_EQ(r.name, "");
    EXPECT_EQ(r.javaExe, "c:\\jre\\bin\\java.exe");
}

TEST_F(Search, ExecutableSearchFindingNothing) {
    set(key::kSearchSequence, "S");
    EXPECT_EQ(search().kind, SearchKind::None);
}

TEST_F(Search, RegistryEntryLeavesTheNameUnset) {
    fake.registry.setString(RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\Java Runtime Environment", "CurrentVersion",
                            "1.6");
    fake.registry.setString(RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.6", "JavaHome",
                            "C:\\jre6");
    addJre("C:\\jre6", "1.6.0_03");
    set(key::kSearchSequence, "Y");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Registry);
    EXPECT_EQ(r.name, "<unset>");
    EXPECT_EQ(r.javaExe, "c:\\jre6\\bin\\java.exe");
}

TEST_F(Search, FlavourVariableAfterTheSequence) {
    addJre("C:\\k", "1.6.0_03");
    addJre("C:\\m", "1.6.0_03");
    fake.env.put("KAVRIN_JAVA_HOME", "C:\\k");
    fake.env.put("MOLVEX_JAVA_HOME", "C:\\m");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::EnvironmentVariable);
    EXPECT_EQ(r.name, "KAVRIN_JAVA_HOME");
    EXPECT_TRUE(loggedBefore("Search sequence finished", "checkJavaExe (C:\\k"));

    set(key::kFlavour, "m");
    r = search();
    EXPECT_EQ(r.name, "MOLVEX_JAVA_HOME");
    EXPECT_EQ(r.javaExe, "c:\\m\\bin\\java.exe");
    EXPECT_EQ(runsOf("c:\\k\\bin\\java.exe"), 1);  // only from the first search

    set(key::kFlavour, "");
    EXPECT_EQ(search().kind, SearchKind::None);
}

TEST_F(Search, InstallerLocationAfterTheFlavourVariable) {
    addJre("C:\\inst", "1.6.0_03");
    installer("C:\\inst\n");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Location);
    EXPECT_EQ(r.name, "C:\\inst");
    EXPECT_TRUE(logged("Has installer location C:\\inst"));
    EXPECT_TRUE(logged("Using installer location"));
}

TEST_F(Search, FallbackTakesAnExistingRuntimeWithoutAVersionCheck) {
    addJre("C:\\jre", "1.4.2");  // ..\jre seen from the executable's directory C:\App
    set(key::kSearchSequence, "B..\\jre;R..\\jre;");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Location);
    EXPECT_EQ(r.name, "..\\jre");
    EXPECT_EQ(r.javaExe, "c:\\jre\\bin\\java.exe");
    EXPECT_TRUE(logged("Testing relative location ..\\jre"));
    EXPECT_TRUE(logged("c:\\jre\\bin\\java.exe exists"));
    EXPECT_EQ(totalRuns(), 1);  // the first pass's probe, then the cache
}

TEST_F(Search, FallbackPassesOverAbsoluteAAndREntriesButTriesB) {
    addJre("C:\\jre", "1.4.2");
    addJre("C:\\App\\jre", "1.4.2");
    set(key::kSearchSequence, "RC:\\jre;A\\\\server\\jre;Ac:jre;EJAVA_HOME;S;Y;zjre;BC:\\jre");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Location);
    EXPECT_EQ(r.name, "C:\\jre");
    std::string text = log();
    size_t fallback = text.find("Search sequence finished");
    ASSERT_NE(fallback, std::string::npos);
    std::string tail = text.substr(fallback);
    EXPECT_EQ(tail.find("Testing relative location C:\\jre\n"), tail.rfind("Testing relative location C:\\jre\n"));
    EXPECT_NE(tail.find("Testing relative location C:\\jre\n"), std::string::npos);
    for (const char* skipped : {"\\\\server\\jre", "c:jre", "JAVA_HOME", "zjre"})
        EXPECT_EQ(tail.find(std::string("Testing relative location ") + skipped), std::string::npos) << skipped;
}

TEST_F(Search, FallbackTriesARelativeREntry) {
    addJre("C:\\App\\jre", "1.4.2");
    set(key::kSearchSequence, "Rjre");
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::Location);
    EXPECT_EQ(r.name, "jre");
    EXPECT_EQ(r.javaExe, "c:\\app\\jre\\bin\\java.exe");
}

TEST_F(Search, FallbackWithoutAnyJavaExeFindsNothing) {
    set(key::kSearchSequence, "Bjre;Rother");
    EXPECT_EQ(search().kind, SearchKind::None);
    EXPECT_TRUE(logged("Testing relative location jre"));
    EXPECT_TRUE(logged("Testing relative location other"));
}

TEST_F(Search, EmptySequenceGoesStraightToTheLaterSources) {
    auto r = search();
    EXPECT_EQ(r.kind, SearchKind::None);
    EXPECT_TRUE(loggedBefore("Searching for a JVM", "Search sequence finished"));
    EXPECT_FALSE(logged("Testing relative location "));
}

TEST_F(Search, JdkRequiredRejectsAHomeWithoutToolsEvenInTheFirstPass) {
    set(key::kJdkRequired, "1");
    addJre("C:\\jre", "1.6.0_03");
    set(key::kSearchSequence, "BC:\\jre");
    // First pass fails; the fallback only asks for an existing jre\bin\java.exe.
    EXPECT_EQ(search().kind, SearchKind::None);
    EXPECT_EQ(totalRuns(), 0);
}

class LocationFile : public test::JvmWorld {};

TEST_F(LocationFile, FirstLineWithoutItsLineEnd) {
    fake.fs.addFile("C:\\App\\.molvex\\pref_jre.cfg", "c:\\jre6\r\nignored\r\n");
    EXPECT_EQ(readLocationFile(ctx, config, "\\.molvex\\pref_jre.cfg"), "c:\\jre6");
}

TEST_F(LocationFile, EmptyFileIsNoLineButAnEmptyLineIs) {
    fake.fs.addFile("C:\\App\\.molvex\\pref_jre.cfg", "");
    EXPECT_EQ(readLocationFile(ctx, config, "\\.molvex\\pref_jre.cfg"), std::nullopt);
    fake.fs.addFile("C:\\App\\.molvex\\inst_jre.cfg", "\r\n");
    EXPECT_EQ(readLocationFile(ctx, config, "\\.molvex\\inst_jre.cfg"), "");
    EXPECT_EQ(readLocationFile(ctx, config, "\\.molvex\\missing.cfg"), std::nullopt);
}

TEST_F(LocationFile, EmptyLocationIsTestedAsTheExecutablesDirectory) {
    fake.fs.addFile("C:\\App\\.molvex\\pref_jre.cfg", "\n");
    addJre("C:\\App", "1.6.0_03");
    set(key::kMinVersion, "1.5");
    std::string exe, name = "x";
    EXPECT_EQ(searchJvm(ctx, config, exe, name), SearchKind::Location);
    EXPECT_EQ(name, "");
}

}  // namespace
}  // namespace kavrin
