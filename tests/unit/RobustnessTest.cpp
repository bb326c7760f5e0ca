// Regression tests for what fuzzing found: each case is an input that once crashed,
// hung or hit undefined behaviour, now answered soundly.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "config/Config.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Process.h"
#include "fakes/FakePlatform.h"
#include "files/DeletionQueue.h"
#include "launch/Expand.h"
#include "pack/PackError.h"
#include "pack/Project.h"

namespace kavrin {
namespace {

// ---- project file: non-ASCII text where the TOML reader asks "is this whitespace?"

pack::Project parse(const std::string& text) {
    pack::ProjectOptions options;
    options.builderDirectory = "/nonexistent/kavrin-robustness";
    return pack::parseProject(text, "/nonexistent/kavrin-robustness/p.toml", options);
}

std::u16string wideValue(const pack::Project& project, int32_t key) {
    for (const auto& [k, v] : project.block.wide)
        if (k == key) return v;
    return u"\xFFFF";
}

// The letters come from the three ranges the reader's Unicode table once left
// undefined: U+00A1..U+0499, U+2C4E..U+3047 (but U+3000) and U+FB26..U+FEFE.
struct Refused {
    const char* name;
    const char* text;
};

TEST(RobustnessProjectFile, NonAsciiOutsideStringsIsRefusedWithExitCode1) {
    const Refused cases[] = {
        {"Cyrillic letter in a table header (the fuzzer's input)", "[files]\n[fe\xD1\x98.j!r\"]\n"},
        {"Latin-1 letter after a value", "[service]\nname = \"svc\" \xC3\xA9\n"},
        {"ideographic comma after a value", "[service]\nname = \"svc\"\xE3\x80\x81\n"},
        {"Arabic presentation form before a value", "[launcher]\ntype = \xEF\xB9\xB0 4\n"},
        {"letter right after an integer", "[launcher]\ntype = 4\xD0\x96\n"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            parse(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const pack::PackError& error) {
            EXPECT_EQ(error.exitCode, pack::kExitBadInput);
            EXPECT_NE(std::string(error.what()).find("p.toml:"), std::string::npos) << error.what();
        }
    }
}

TEST(RobustnessProjectFile, NonAsciiAfterALineEndingBackslashIsKept) {
    // Valid TOML: the backslash swallows the line break and the blanks after it,
    // and the Cyrillic letter that follows is text, not whitespace.
    const pack::Project project = parse(
        "[files]\nruntime = false\n[service]\ndescription = \"\"\"a \\\n   \xD1\x98"
        "b \xC3\xA9\"\"\"\n");
    EXPECT_EQ(wideValue(project, 20017), u"a \u0458b \u00E9");
}

// ---- deletion queue: a listed path full of wildcards

TEST(RobustnessDeletionQueue, WildcardHeavyEntryFinishesAndDeletesNothing) {
    test::FakePlatform fake;
    Process ctx(fake.platform);
    fake.fs.addFile("C:\\Q\\" + std::string(40, 'a'), "x");
    const std::string entry = "C:\\Q\\" + std::string(60, '*') + "b";
    fake.registry.setString(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp", kDeleteDirValue, entry + ";");

    const auto start = std::chrono::steady_clock::now();
    processDeletionQueue(ctx);
    // Backtracking over sixty stars once took longer than any test run.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    EXPECT_TRUE(fake.fs.exists("C:\\Q\\" + std::string(40, 'a')));
    const auto left = fake.registry.value(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp", kDeleteDirValue);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->data, entry + ";");  // not a name the launcher queues: left as it was
}

// ---- variable expansion: values that hold further references

TEST(RobustnessExpansion, DoublingChainStopsAtTheLimitAndSaysSo) {
    // V0=${V1}${V1}, V1=${V2}${V2}, ...: each variable doubles the text, 2^40 in all.
    test::FakePlatform fake;
    fake.env.vars.clear();
    fake.env.put("KAVRIN_LOG", "yes");
    for (int i = 0; i < 40; ++i) {
        const std::string next = "${V" + std::to_string(i + 1) + "}";
        fake.env.vars.emplace_back("V" + std::to_string(i), next + next);
    }
    Process ctx(fake.platform);
    std::string text = "-Dx=${V0}";

    const auto start = std::chrono::steady_clock::now();
    expandInPlace(ctx, LauncherVariables{}, text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    EXPECT_LE(text.size(), kMaxExpandedText);
    EXPECT_GT(text.size(), kMaxExpandedText / 2);  // it expanded as far as the limit allows
    EXPECT_EQ(text.rfind("-Dx=${V", 0), 0u);
    EXPECT_NE(fake.logText().find("ERROR: expanded text would exceed 65536 bytes; references left unexpanded"),
              std::string::npos)
        << fake.logText();
}

TEST(RobustnessExpansion, LongValuesBelowTheLimitExpandWhole) {
    // Longer than the launcher's 8192-byte buffers, far below the limit: expanded whole.
    test::FakePlatform fake;
    const std::string path(30000, 'p');
    fake.env.put("LONGPATH", path);
    Process ctx(fake.platform);
    std::string text = "${LONGPATH};${LONGPATH}";
    expandInPlace(ctx, LauncherVariables{}, text);
    EXPECT_TRUE(text == path + ";" + path) << text.size() << " bytes";
}

TEST(RobustnessExpansion, ReplacingStopsAtTheFirstOccurrenceThatWouldPassTheLimit) {
    const std::string value(kMaxExpandedText / 2, 'v');
    std::string text = "a${X}b${X}c${X}d";
    EXPECT_FALSE(replaceAllOccurrences(text, "${X}", value));
    // The first fits; the second would take the text past the limit, so it and the
    // third stay as they were.
    EXPECT_EQ(text, "a" + value + "b${X}c${X}d");

    std::string shrinking = "${X}${X}";
    EXPECT_TRUE(replaceAllOccurrences(shrinking, "${X}", ""));
    EXPECT_EQ(shrinking, "");
}

}  // namespace
}  // namespace kavrin
