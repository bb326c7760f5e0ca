// Code page conversions under the ANSI code page the run was started with.
// ctest runs this suite three times with LC_ALL chosen so that Wine's ANSI code
// page is 1252, 932 (double-byte, trail bytes 0x5C) and 1251, and tells the
// tests which one through KAVRIN_TEST_ACP.
#include <cstdlib>

#include "Win32TestSupport.h"
#include "config/ExePath.h"

namespace kavrin::test {
namespace {

struct Row {
    const char* acp;
    CodePage page;
    std::string narrow;
    std::u16string wide;
};

const Row kRows[] = {
    {"1252", CodePage::Ansi, "\xC0", u"\u00C0"},
    {"1252", CodePage::Ansi, "\x80", u"\u20AC"},
    {"1252", CodePage::Oem, "\x80", u"\u00C7"},  // OEM 437
    {"1251", CodePage::Ansi, "\xC0", u"\u0410"},
    {"1251", CodePage::Ansi, "\xB8", u"\u0451"},
    {"1251", CodePage::Oem, "\x80", u"\u0410"},  // OEM 866
    // Double-byte characters whose trail byte is 0x5C, the code of a backslash.
    {"932", CodePage::Ansi, "\x83\x5C", u"\u30BD"},
    {"932", CodePage::Ansi, "\x95\x5C", u"\u8868"},
    {"932", CodePage::Ansi, "c:\\\x83\x5C\\x", u"c:\\\u30BD\\x"},
    {"932", CodePage::Ansi, "\xC0", u"\uFF80"},
    {"932", CodePage::Oem, "\x83\x5C", u"\u30BD"},
};

class CodePageTest : public Win32Test {
protected:
    void SetUp() override {
        Win32Test::SetUp();
        const char* expected = std::getenv("KAVRIN_TEST_ACP");
        if (!expected) GTEST_SKIP() << "KAVRIN_TEST_ACP not set: started outside ctest";
        acp = expected;
    }
    std::string acp;
};

TEST_F(CodePageTest, TextConvertsBothWaysInTheRunsCodePage) {
    int checked = 0;
    for (const Row& row : kRows) {
        if (acp != row.acp) continue;
        ++checked;
        SCOPED_TRACE(row.narrow);
        auto wide = os.codePages.toWide(row.page, row.narrow);
        ASSERT_TRUE(wide);
        EXPECT_EQ(*wide, row.wide);
        bool usedDefault = true;
        auto narrow = os.codePages.toNarrow(row.page, row.wide, usedDefault);
        ASSERT_TRUE(narrow);
        EXPECT_EQ(*narrow, row.narrow);
        EXPECT_FALSE(usedDefault);
    }
    EXPECT_GT(checked, 0) << "no rows for code page " << acp;
}

TEST_F(CodePageTest, AnUnrepresentableCharacterBecomesAQuestionMarkAndIsReported) {
    bool usedDefault = false;
    auto narrow = os.codePages.toNarrow(CodePage::Ansi, u"a\u0627b", usedDefault);  // Arabic alef
    ASSERT_TRUE(narrow);
    EXPECT_EQ(*narrow, "a?b");
    EXPECT_TRUE(usedDefault);
    // A literal question mark is not a default character.
    narrow = os.codePages.toNarrow(CodePage::Ansi, u"a?b", usedDefault);
    EXPECT_EQ(narrow.value_or(""), "a?b");
    EXPECT_FALSE(usedDefault);
}

TEST_F(CodePageTest, EmptyTextAndTheTerminatorConvert) {
    EXPECT_EQ(os.codePages.toWide(CodePage::Ansi, "").value_or(u"x"), u"");
    bool usedDefault = true;
    EXPECT_EQ(os.codePages.toNarrow(CodePage::Ansi, u"", usedDefault).value_or("x"), "");
    EXPECT_FALSE(usedDefault);
    // A terminating zero converted along with the text stays one zero.
    EXPECT_EQ(os.codePages.toWide(CodePage::Ansi, std::string("ab\0", 3)).value_or(u""), std::u16string(u"ab\0", 3));
    EXPECT_TRUE(os.codePages.fileApisAnsi());
}

// Backslash runs shrink in UTF-16, so a trail byte 0x5C of a double-byte character
// is never taken for one: the same bytes give different results by code page.
TEST_F(CodePageTest, CollapseBackslashesKnowsTrailBytes) {
    struct Case {
        const char* acp;
        std::string in, out;
    };
    const Case cases[] = {
        {"932", "c:\\\\\x83\x5C\\\\x", "c:\\\x83\x5C\\x"},
        {"1252", "c:\\\\\x83\x5C\\\\x", "c:\\\x83\\x"},
        {"1251", "c:\\\\\x83\x5C\\\\x", "c:\\\x83\\x"},
    };
    Process ctx(os);
    int checked = 0;
    for (const Case& c : cases) {
        if (acp != c.acp) continue;
        ++checked;
        std::string path = c.in;
        collapseBackslashes(ctx, path);
        EXPECT_EQ(path, c.out);
    }
    EXPECT_EQ(checked, 1);
}

}  // namespace
}  // namespace kavrin::test
