#include <gtest/gtest.h>

#include "config/ExePath.h"
#include "fakes/LauncherWorld.h"

using namespace kavrin;
using kavrin::test::FakePlatform;

// getExecutablePath reads the module name on its first call, after each test set it.
class ExecutablePath : public ::testing::Test, protected test::LauncherWorld {};

TEST_F(ExecutablePath, UsesTheWideNameWhenTheCodePageSpellsIt) {
    fake.module.wideName = u"C:\\\\Apps\\\\Server\\svc.EXE";
    EXPECT_EQ(getExecutablePath(ctx), "C:\\Apps\\Server\\svc.EXE");
    fake.module.wideName = u"C:\\other.exe";
    EXPECT_EQ(getExecutablePath(ctx), "C:\\Apps\\Server\\svc.EXE");  // cached, never refreshed
}

TEST_F(ExecutablePath, FallsBackToTheShortNameWhenTheCodePageCannotSpellIt) {
    fake.module.wideName = u"C:\\\u4e2d\u6587\\svc.exe";
    fake.module.wideShort = u"C:\\5D8E~1\\svc.exe";
    EXPECT_EQ(getExecutablePath(ctx), "C:\\5D8E~1\\svc.exe");
}

TEST_F(ExecutablePath, NameNotEndingInExeAlsoTakesTheShortRoute) {
    fake.module.wideName = u"C:\\App\\svc.bin";
    fake.module.wideShort = u"C:\\App\\SVC~1.EXE";
    EXPECT_EQ(getExecutablePath(ctx), "C:\\App\\SVC~1.EXE");
}

TEST_F(ExecutablePath, LastResortIsTheShortFormOfTheNarrowName) {
    fake.module.wideName = u"C:\\\u4e2d\\svc.exe";
    fake.module.wideShort = u"C:\\\u4e2d\\svc.exe";  // still unrepresentable
    fake.module.narrowName = "C:\\App\\svc.exe";
    fake.fs.addFile("C:\\App\\svc.exe", "");
    fake.fs.shortNames["c:\\app\\svc.exe"] = "C:\\APP~1\\SVC.EXE";
    EXPECT_EQ(getExecutablePath(ctx), "C:\\APP~1\\SVC.EXE");
}

TEST_F(ExecutablePath, NonNtPlatformsUseTheNarrowModuleName) {
    fake.module.nt = false;
    fake.module.narrowName = "C:\\Old\\\\svc.exe";
    EXPECT_EQ(getExecutablePath(ctx), "C:\\Old\\svc.exe");
}

TEST(CollapseBackslashes, ShrinksRunsButKeepsALeadingUncPair) {
    FakePlatform fake;
    Process ctx(fake.platform);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"c:\\\\a\\\\\\b", "c:\\a\\b"},
        {"\\\\srv\\\\share", "\\\\srv\\share"},
        {"\\\\\\x", "\\\\x"},
        {"", ""},
        {"a\\", "a\\"},
        {"\\", "\\"},
    };
    for (const auto& [in, out] : cases) {
        std::string path = in;
        collapseBackslashes(ctx, path);
        EXPECT_EQ(path, out) << in;
    }
}

TEST(CollapseBackslashes, LeavesAPathAloneWhenTheResultCannotBeConvertedBack) {
    // A code page that cannot take its own text back: the path must stay untouched.
    struct LossyCodePages : test::FakeCodePages {
        std::optional<std::string> toNarrow(CodePage cp, const std::u16string& text, bool& usedDefault) override {
            auto out = FakeCodePages::toNarrow(cp, text, usedDefault);
            usedDefault = true;
            return out;
        }
    } lossy;
    FakePlatform fake;
    Platform platform{fake.fs,   fake.registry, fake.env, fake.processes, fake.services, fake.console,
                      fake.exit, fake.clock,    lossy,    fake.module,    fake.libraries};
    Process ctx(platform);
    std::string path = "c:\\\\x";
    collapseBackslashes(ctx, path);
    EXPECT_EQ(path, "c:\\\\x");
}
