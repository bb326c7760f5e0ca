// Class path assembly: pieces in order, entry types, mandatory entries.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"
#include "launch/ClassPath.h"

namespace kavrin {
namespace {

class ClassPathTest : public ::testing::Test, protected test::LauncherWorld {
protected:
    ClassPathTest() {
        placeModule();
        ctx.fatal.useMessageBox = false;
        config = config.with(key::kMsgClassPathMissing, "File or directory {0} not found or empty\n");
        config = config.with(key::kMsgEnvVarMissing, "The environment variable {0} has to be defined");
        vars = launcherVariables(ctx, config, "", "");
        vars.flavour = 'k';
    }
    std::string build(const ClassPathSlots& slots = {}) { return buildClassPathOption(ctx, config, vars, slots); }
    // The fatal message shown, or "" when the build went through.
    std::string fatalText(const ClassPathSlots& slots = {}) {
        return LauncherWorld::fatalText([&] { build(slots); });
    }
    LauncherVariables vars;
};

TEST_F(ClassPathTest, ScanEntryListsJarsThenZipsResolvedNotNormalised) {
    set(key::kClassPath, "S0..\\lib;");
    fake.fs.addFile("C:\\Apps\\lib\\b.jar", "");
    fake.fs.addFile("C:\\Apps\\lib\\a.zip", "");
    fake.fs.addFile("C:\\Apps\\lib\\a.jar", "");
    fake.fs.addFile("C:\\Apps\\lib\\notes.txt", "");
    EXPECT_EQ(build(),
              "-Djava.class.path=C:\\Apps\\Server\\..\\lib\\a.jar;C:\\Apps\\Server\\..\\lib\\b.jar;"
              "C:\\Apps\\Server\\..\\lib\\a.zip;");
}

TEST_F(ClassPathTest, MissingScanDirectoryAddsNothingUnlessMandatory) {
    set(key::kClassPath, "S0..\\lib;");
    EXPECT_EQ(build(), "-Djava.class.path=");
    set(key::kClassPath, "S1..\\lib;");
    EXPECT_EQ(fatalText(), "File or directory ..\\lib not found or empty\n\n");
    // Present but without archives: found, nothing added.
    fake.fs.addDirectory("C:\\Apps\\lib");
    EXPECT_EQ(build(), "-Djava.class.path=");
}

TEST_F(ClassPathTest, ArchiveAndDirectoryEntriesAreAddedEvenWhenMissing) {
    set(key::kClassPath, ";;A0lib\\app.jar;D0C:\\\\classes;");
    EXPECT_EQ(build(), "-Djava.class.path=C:\\Apps\\Server\\lib\\app.jar;C:\\classes;");
    set(key::kClassPath, "A1lib\\app.jar");
    EXPECT_EQ(fatalText(), "File or directory lib\\app.jar not found or empty\n\n");
    fake.fs.addFile("C:\\Apps\\Server\\lib\\app.jar", "");
    EXPECT_EQ(build(), "-Djava.class.path=C:\\Apps\\Server\\lib\\app.jar;");
}

TEST_F(ClassPathTest, EnvironmentEntries) {
    set(key::kClassPath, "E0UNDEFINED;EBQUOTED;E0SEMI;E0EMPTYQ");
    fake.env.put("QUOTED", "\"C:\\x;C:\\y\"");
    fake.env.put("SEMI", "C:\\z;");
    fake.env.put("EMPTYQ", "\"\"");
    EXPECT_EQ(build(), "-Djava.class.path=C:\\x;C:\\y;C:\\z;;");

    set(key::kClassPath, "E1UNDEFINED");
    EXPECT_EQ(fatalText(), "The environment variable UNDEFINED has to be defined\n");
}

TEST_F(ClassPathTest, EntryTextIsExpandedBeforeUse) {
    fake.env.put("LIBNAME", "app");
    set(key::kClassPath, "A1${KAVRIN_EXEDIR}${LIBNAME}.jar");
    EXPECT_EQ(fatalText(), "File or directory C:\\Apps\\Server\\app.jar not found or empty\n\n");
}

// Undecided cases, decided: a mandatory entry that can yield nothing stops the launch
// (an empty variable, an unknown type letter); neither ever adds text.
TEST_F(ClassPathTest, MandatoryEntriesThatYieldNothingAreFatal) {
    fake.env.put("EMPTY", "");
    set(key::kClassPath, "E0EMPTY;X0whatever");
    EXPECT_EQ(build(), "-Djava.class.path=");
    set(key::kClassPath, "E1EMPTY");
    EXPECT_EQ(fatalText(), "File or directory EMPTY not found or empty\n\n");
    fake.console.stderrText.clear();
    set(key::kClassPath, "X1whatever");
    EXPECT_EQ(fatalText(), "File or directory whatever not found or empty\n\n");
}

TEST_F(ClassPathTest, ShortEntriesAreReadWithoutRunningPastTheirEnd) {
    set(key::kClassPath, "S;A;E1");
    // "A" alone resolves to the executable's directory (which exists); "E1" names no variable.
    EXPECT_NE(fatalText().find("has to be defined"), std::string::npos);
}

TEST_F(ClassPathTest, SlotsAndPieceOrder) {
    set(key::kClassPath, "A1lib\\missing.jar");
    vars.extractionDirectory = "C:\\Temp\\kvr12";
    vars.extractedFiles = {"inc.zip", "inc.jar"};

    ClassPathSlots slots;
    slots.prepended = "pre.jar";
    slots.replacement = "rep.jar";  // the mandatory key-121 entry is never looked at
    slots.appended = "app.jar";
    EXPECT_EQ(build(slots),
              "-Djava.class.path=pre.jar;C:\\Temp\\kvr12\\inc.jar;C:\\Temp\\kvr12\\inc.zip;rep.jar;app.jar");

    slots.replacement = "rep.jar;";
    EXPECT_EQ(build(slots),
              "-Djava.class.path=pre.jar;C:\\Temp\\kvr12\\inc.jar;C:\\Temp\\kvr12\\inc.zip;rep.jar;app.jar");
}

TEST_F(ClassPathTest, ExtractedArchivesComeFromWhatExtractionWroteNotFromTheDirectory) {
    vars.extractionDirectory = "C:\\Temp\\kvr12";
    vars.extractedFiles = {"b.JAR", "data.txt", "c.zip", "A.jar", ".jar.bak", "jar"};
    fake.fs.addFile("C:\\Temp\\kvr12\\planted.jar", "");  // put there by someone else
    EXPECT_EQ(build(), "-Djava.class.path=C:\\Temp\\kvr12\\A.jar;C:\\Temp\\kvr12\\b.JAR;C:\\Temp\\kvr12\\c.zip;");
}

TEST_F(ClassPathTest, InstallerFlavourAddsTheRuntimeArchiveBeforeConfiguredEntries) {
    vars.flavour = 'm';
    set(key::kInstallDirectory, "..\\");
    set(key::kClassPath, "A0a.jar");
    vars.extractionDirectory = "C:\\Temp\\kvr12";
    vars.extractedFiles = {"inc.jar"};
    EXPECT_EQ(build(),
              "-Djava.class.path=C:\\Temp\\kvr12\\inc.jar;C:\\Apps\\.molvex\\mvxruntime.jar;"
              "C:\\Apps\\Server\\a.jar;");
    set(key::kInstallDirectory, "C:\\Inst");
    EXPECT_EQ(build(),
              "-Djava.class.path=C:\\Temp\\kvr12\\inc.jar;C:\\Inst\\.molvex\\mvxruntime.jar;"
              "C:\\Apps\\Server\\a.jar;");
}

TEST_F(ClassPathTest, ListMatchingFilesBuildsThePatternAndKeepsDirectories) {
    fake.fs.addFile("C:\\d\\x.jar", "");
    fake.fs.addDirectory("C:\\d\\folder.jar");
    fake.fs.addFile("C:\\d\\x.jarx", "");
    EXPECT_EQ(listMatchingFiles(ctx, "C:\\d", "jar"), (std::vector<std::string>{"folder.jar", "x.jar"}));
    EXPECT_EQ(listMatchingFiles(ctx, "C:\\d", ".jar"), (std::vector<std::string>{"folder.jar", "x.jar"}));
    EXPECT_TRUE(listMatchingFiles(ctx, "C:\\nowhere", "jar").empty());

    std::string cp;
    EXPECT_FALSE(appendArchives(ctx, cp, "C:\\nowhere", "jar"));
    EXPECT_TRUE(appendArchives(ctx, cp, "C:\\d", "zip"));
    EXPECT_EQ(cp, "");
}

}  // namespace
}  // namespace kavrin
