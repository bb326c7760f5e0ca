// The process's own module, command line, libraries, console and clock.
#include <set>

#include "Win32TestSupport.h"

namespace kavrin::test {
namespace {

using ModuleTest = Win32Test;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

TEST_F(ModuleTest, BothModuleNamesNameThisExecutable) {
    std::string narrow = os.module.fileNameA();
    EXPECT_EQ(lower(narrow.substr(narrow.find_last_of('\\') + 1)), "kavrin-win-tests.exe");
    EXPECT_EQ(narrow.substr(1, 2), ":\\");
    std::u16string wide = os.module.fileNameW();
    bool usedDefault = true;
    EXPECT_EQ(os.codePages.toNarrow(CodePage::Ansi, wide, usedDefault).value_or(""), narrow);
    EXPECT_TRUE(os.module.isWindowsNT());
    std::u16string line = os.module.commandLineW();
    EXPECT_NE(lower(std::string(line.begin(), line.end())).find("kavrin-win-tests.exe"), std::string::npos);
}

TEST_F(ModuleTest, ShortPathOfALongDirectoryIsAnEightDotThreeName) {
    std::string dir = scratch + "A Directory With A Long Name";
    ASSERT_TRUE(os.fs.createDirectory(dir));
    bool usedDefault = false;
    auto shortName = os.module.shortPathW(*os.codePages.toWide(CodePage::Ansi, dir));
    ASSERT_TRUE(shortName);
    std::string narrow = *os.codePages.toNarrow(CodePage::Ansi, *shortName, usedDefault);
    std::string last = narrow.substr(narrow.find_last_of('\\') + 1);
    EXPECT_LE(last.size(), 12u) << narrow;
    EXPECT_NE(last.find('~'), std::string::npos) << narrow;
    EXPECT_FALSE(os.module.shortPathW(u"c:\\absent\\dir"));
}

TEST_F(ModuleTest, LibrariesLoadAndExportSymbols) {
    void* kernel = os.libraries.load("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(os.libraries.symbol(kernel, "GetTickCount"), nullptr);
    EXPECT_EQ(os.libraries.symbol(kernel, "NoSuchExport"), nullptr);
    EXPECT_EQ(os.libraries.load(scratch + "absent.dll"), nullptr);
}

TEST_F(ModuleTest, ClockGivesTimeAndRandomNumbers) {
    std::string text = os.clock.ctimeNow();
    ASSERT_EQ(text.size(), 25u) << text;  // "Www Mmm dd hh:mm:ss yyyy\n"
    EXPECT_EQ(text[24], '\n');
    EXPECT_EQ(text[3], ' ');
    EXPECT_EQ(text[13], ':');
    EXPECT_GT(os.clock.timeSeconds(), 1600000000);
    os.clock.seedRandom(42);
    int first = os.clock.random();
    std::set<int> values{first};
    for (int i = 0; i < 20; ++i) values.insert(os.clock.random());
    EXPECT_GT(values.size(), 10u);
    os.clock.seedRandom(42);
    EXPECT_EQ(os.clock.random(), first);
    for (int v : values) EXPECT_LE(v, 32767);
}

}  // namespace
}  // namespace kavrin::test
