// Variable expansion: the launcher patterns in their order, then the environment.
#include <gtest/gtest.h>

#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"
#include "launch/Expand.h"

namespace kavrin {
namespace {

class ExpandTest : public ::testing::Test, protected test::LauncherWorld {
protected:
    ExpandTest() {
        placeModule(test::kServerExe, false);
        fake.env.vars.clear();
    }
    std::string expand(const std::string& text) {
        const LauncherVariables vars = launcherVariables(ctx, config, "C:\\jre\\bin\\..", extractionDirectory);
        return expandVariables(text, vars, *fake.env.block()).text;
    }
    std::string extractionDirectory;
};

TEST(ReplaceAllOccurrences, ReplacesEveryOccurrenceButNeverInsertedText) {
    struct Case {
        std::string text, pattern, value, expected;
    } cases[] = {
        {"a%S%b%S%c", "%S%", ";", "a;b;c"},
        {"xx", "x", "axa", "axaaxa"},  // the value holds the pattern: no loop, no re-match
        {"none here", "${A}", "v", "none here"},
        {"${A}${A}", "${A}", "", ""},
        {"aaa", "aa", "b", "ba"},  // matches do not overlap
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        replaceAllOccurrences(text, c.pattern, c.value);
        EXPECT_EQ(text, c.expected) << c.text;
    }
}

TEST_F(ExpandTest, EveryLauncherPatternHasItsValue) {
    extractionDirectory = "C:\\Temp\\kvr1";
    const std::string exe = "C:\\Apps\\Server\\";
    const std::string tmp = "C:\\Temp\\kvr1";
    const std::string home = "C:\\jre\\bin\\..";
    const std::pair<const char*, std::string> table[] = {
        {"%KAVRIN_EXEDIR%", exe},
        {"%MOLVEX_EXEDIR%", exe},
        {"%KAVRIN_TEMPDIR%", tmp},
        {"%MOLVEX_TEMPDIR%", tmp},
        {"%KAVRIN_PATHLIST_SEPARATOR%", ";"},
        {"%MOLVEX_PATHLIST_SEPARATOR%", ";"},
        {"%KAVRIN_JVM_HOME%", home},
        {"%MOLVEX_JVM_HOME%", home},
        {"${KAVRIN_EXEDIR}", exe},
        {"${MOLVEX_EXEDIR}", exe},
        {"${KAVRIN_TEMPDIR}", tmp},
        {"${MOLVEX_TEMPDIR}", tmp},
        {"${KAVRIN_PATHLIST_SEPARATOR}", ";"},
        {"${MOLVEX_PATHLIST_SEPARATOR}", ";"},
        {"${KAVRIN_JVM_HOME}", home},
        {"${MOLVEX_JVM_HOME}", home},
        {"${launcher:sys.launcherDirectory}", exe},
        {"${launcher:sys.launcherTempDirectory}", tmp},
        {"${launcher:sys.pathlistSeparator}", ";"},
        {"${launcher:sys.jvmHome}", home},
    };
    for (const auto& [pattern, value] : table) {
        EXPECT_EQ(expand(std::string("<") + pattern + ">"), "<" + value + ">") << pattern;
    }
    // Matching is case-sensitive.
    EXPECT_EQ(expand("%kavrin_exedir%${launcher:sys.JVMHOME}"), "%kavrin_exedir%${launcher:sys.JVMHOME}");
}

TEST_F(ExpandTest, DirectoryReferencesJoinPlainText) {
    EXPECT_EQ(expand("${launcher:sys.launcherDirectory}lib"), "C:\\Apps\\Server\\lib");
    // The doubled backslash stays; path resolution collapses it later.
    EXPECT_EQ(expand("${launcher:sys.launcherDirectory}\\lib"), "C:\\Apps\\Server\\\\lib");
    EXPECT_EQ(expand("${launcher:sys.jvmHome}\\lib\\tools.jar"), "C:\\jre\\bin\\..\\lib\\tools.jar");
    EXPECT_EQ(expand("%KAVRIN_PATHLIST_SEPARATOR%a%KAVRIN_PATHLIST_SEPARATOR%"), ";a;");
}

TEST_F(ExpandTest, NothingExtractedMakesTheTempDirectoryEmpty) {
    EXPECT_EQ(expand("[%KAVRIN_TEMPDIR%][%MOLVEX_TEMPDIR%][${KAVRIN_TEMPDIR}][${MOLVEX_TEMPDIR}]"
                     "[${launcher:sys.launcherTempDirectory}]"),
              "[][][][][]");
}

TEST_F(ExpandTest, EnvironmentOnlyInBraceFormAsSpelledAndUpperCased) {
    fake.env.put("Path", "C:\\bin");
    EXPECT_EQ(expand("${Path}|${PATH}|${path}|%PATH%"), "C:\\bin|C:\\bin|${path}|%PATH%");
}

TEST_F(ExpandTest, LauncherVariableWinsOverEnvironmentOfTheSameName) {
    fake.env.put("KAVRIN_EXEDIR", "D:\\elsewhere");
    EXPECT_EQ(expand("${KAVRIN_EXEDIR}"), "C:\\Apps\\Server\\");
}

TEST_F(ExpandTest, ValuesExpandFurtherOnlyByLaterPatterns) {
    fake.env.put("A", "[${launcher:sys.jvmHome}][${B}][${C}]");
    fake.env.put("B", "b-value");
    fake.env.vars.insert(fake.env.vars.begin(), {"C", "c-value"});  // before A in the block
    // B follows A in the block, so A's reference to it is expanded; C came first, so not;
    // the launcher patterns ran before A was inserted.
    EXPECT_EQ(expand("${A}"), "[${launcher:sys.jvmHome}][b-value][${C}]");
}

TEST_F(ExpandTest, EntryWithEmptyNameReplacesEmptyBraces) {
    fake.env.vars.push_back({"", "C:=C:\\work"});  // the block entry "=C:=C:\work"
    EXPECT_EQ(expand("<${}>"), "<C:=C:\\work>");
}

}  // namespace
}  // namespace kavrin
