#include <gtest/gtest.h>

#include <algorithm>

#include "diagnostics/Log.h"
#include "fakes/FakePlatform.h"

using namespace kavrin;
using kavrin::test::FakePlatform;

TEST(Log, OffUnlessAVariableIsExactlyYes) {
    const std::vector<std::tuple<const char*, const char*, bool>> cases = {
        {nullptr, nullptr, false}, {"yes", nullptr, true}, {"no", "yes", true},
        {"YES", nullptr, false},   {"Yes", "YES", false},  {"yes ", nullptr, false},
    };
    for (const auto& [kavrinValue, molvexValue, on] : cases) {
        FakePlatform fake;
        if (kavrinValue) fake.env.put("KAVRIN_LOG", kavrinValue);
        if (molvexValue) fake.env.put("MOLVEX_LOG", molvexValue);
        Process ctx(fake.platform);
        logInfo(ctx, "hello %d", 1);
        EXPECT_EQ(getLogPath(ctx).has_value(), on);
        EXPECT_EQ(fake.logText().empty(), !on);
    }
}

TEST(Log, NewFileInTmpWithHeaderThenEmptyLineThenFlushedLines) {
    FakePlatform fake;
    fake.fs.addDirectory("D:\\logs");
    fake.env.put("TMP", "D:\\logs");
    fake.env.put("KAVRIN_LOG", "yes");
    Process ctx(fake.platform);
    logInfo(ctx, "a %s", "b");
    logError(ctx, "c\nd");
    ASSERT_TRUE(getLogPath(ctx));
    EXPECT_EQ(getLogPath(ctx)->rfind("D:\\logs\\mvx_nlog_", 0), 0u);
    EXPECT_EQ(fake.fs.content(*getLogPath(ctx)),
              "Started executable C:\\App\\svc.exe at Wed Dec 09 12:00:00 2026\n\n"
              "2026-12-09 12:00:00.000 a b\n"
              "2026-12-09 12:00:00.000 ERROR: c\nd\n");
}

TEST(Log, DecisionIsMadeOnceAtTheFirstCall) {
    FakePlatform fake;
    Process ctx(fake.platform);
    logInfo(ctx, "before");
    fake.env.put("KAVRIN_LOG", "yes");
    logInfo(ctx, "after");
    EXPECT_FALSE(getLogPath(ctx));
    EXPECT_EQ(fake.logText(), "");
}

TEST(Log, FallsBackToTheFixedNameAndThenGivesUpSilently) {
    FakePlatform fake;
    fake.env.put("KAVRIN_LOG", "yes");
    fake.fs.failOpenForWrite = {"C:\\mvx_nlog_4096"};  // the first temporary name the fake makes
    Process ctx(fake.platform);
    logInfo(ctx, "x");
    EXPECT_EQ(getLogPath(ctx), std::optional<std::string>("c:\\mvx_nlog"));
    EXPECT_NE(fake.logText().find("\n\nx\n"), std::string::npos);

    FakePlatform none;
    none.env.put("MOLVEX_LOG", "yes");
    none.fs.failOpenForWrite = {"C:\\mvx_nlog_4096", "c:\\mvx_nlog"};
    Process ctx2(none.platform);
    logInfo(ctx2, "x");
    EXPECT_EQ(getLogPath(ctx2), std::optional<std::string>("c:\\mvx_nlog"));
    EXPECT_FALSE(none.fs.exists("c:\\mvx_nlog"));

    // An existing c:\mvx_nlog (someone else's, or a link) is never written through.
    FakePlatform taken;
    taken.env.put("KAVRIN_LOG", "yes");
    taken.fs.failOpenForWrite = {"C:\\mvx_nlog_4096"};
    taken.fs.addFile("c:\\mvx_nlog", "someone's");
    Process ctx3(taken.platform);
    logInfo(ctx3, "x");
    EXPECT_EQ(taken.fs.content("c:\\mvx_nlog"), "someone's");
}

TEST(Log, PhaseLineOnlyWithTheLogOnAndTheClockReadOnlyThen) {
    for (const bool on : {false, true}) {
        FakePlatform fake;
        if (on) fake.env.put("KAVRIN_LOG", "yes");
        fake.clock.sinceStartUs = 167318;
        Process ctx(fake.platform);
        logPhase(ctx, "configuration read");
        EXPECT_EQ(fake.clock.startClockReads, on ? 1 : 0);
        EXPECT_EQ(fake.logText().find("\nphase configuration read: 167318 us\n") != std::string::npos, on)
            << fake.logText();
    }
}

TEST(Log, TheConfigurationSwitchesItOnWithTheLinesSoFar) {
    for (const bool on : {true, false}) {
        FakePlatform fake;
        Process ctx(fake.platform);
        logInfo(ctx, "while reading");
        switchLogFromConfig(ctx, on);
        logInfo(ctx, "after");
        EXPECT_EQ(getLogPath(ctx).has_value(), on);
        EXPECT_EQ(fake.logText(), on ? "Started executable C:\\App\\svc.exe at Wed Dec 09 12:00:00 2026\n\n"
                                       "while reading\nafter\n"
                                     : "");
        EXPECT_TRUE(ctx.log.held.empty());
    }
}

TEST(Log, KeepsTheNewestTenOfItsOwnFilesAndNothingElseGoes) {
    FakePlatform fake;
    fake.env.put("KAVRIN_LOG", "yes");
    const std::vector<std::string> foreign = {"mvx_nlog", "mvx_nlog_12g", "mvx_nlog_1_2_3", "mvx_nlogs_1", "x.txt"};
    for (const auto& name : foreign) fake.fs.addFile("C:\\" + name, "", FileTime{1});
    for (uint64_t i = 0; i < 12; ++i)
        fake.fs.addFile("C:\\mvx_nlog_a" + std::to_string(i) + "_F", "", FileTime{100 + i});
    Process ctx(fake.platform);
    logInfo(ctx, "x");
    const std::vector<std::string> left = fake.fs.children("C:\\");
    for (const auto& name : foreign) EXPECT_NE(std::find(left.begin(), left.end(), name), left.end()) << name;
    // The new file is the newest; of the twelve older ones the nine newest stay.
    for (uint64_t i = 0; i < 12; ++i)
        EXPECT_EQ(std::count(left.begin(), left.end(), "mvx_nlog_a" + std::to_string(i) + "_F"), i >= 3 ? 1 : 0) << i;
}

TEST(FormatText, NeverTruncatesLongTexts) {
    const std::string long_(20000, 'x');
    EXPECT_EQ(formatText("<%s>", long_.c_str()).size(), 20002u);
}
