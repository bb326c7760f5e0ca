#include <gtest/gtest.h>

#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "fakes/LauncherWorld.h"

using namespace kavrin;
using kavrin::test::ProcessExit;

namespace {
struct Fixture : test::LauncherWorld {
    Fixture() {
        // A loaded service configuration: no message box.
        set(key::kMsgInternalError, "An internal error occurred (error code: {0})");
        set(key::kMsgCaption, "Error");
        configureErrorReporting(ctx, config);
    }
    std::optional<std::string> queue(const char* value) {
        auto v = fake.registry.value(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp", value);
        if (!v) return std::nullopt;
        return v->data;
    }
};
}  // namespace

TEST(ErrorText, PlaceholderRules) {
    EXPECT_EQ(substituteFirstPlaceholder("code: {0}", std::string("16")), "code: 16");
    EXPECT_EQ(substituteFirstPlaceholder("{0} and {0}", std::string("a")), "a and {0}");
    EXPECT_EQ(substituteFirstPlaceholder("no placeholder", std::string("a")), "no placeholder");
    EXPECT_EQ(substituteFirstPlaceholder("kept {0}", std::nullopt), "kept {0}");
    EXPECT_EQ(substituteFirstPlaceholder("{0}", std::string(10000, 'z')).size(), 10000u);
}

TEST(ErrorText, FatalKeyGoesToStandardErrorAndExitsOne) {
    Fixture f;
    const auto exit = test::exitOf([&] { reportFatalKey(f.ctx, f.config, key::kMsgInternalError, std::string("16")); });
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->code, 1u);
    EXPECT_FALSE(exit->quick);
    EXPECT_EQ(f.fake.console.stderrText, "An internal error occurred (error code: 16)\n");
    EXPECT_TRUE(f.fake.console.boxes.empty());
}

TEST(ErrorText, AbsentKeyShowsAnEmptyLineAndWithLogTheLongLogPath) {
    Fixture f;
    f.ctx.fatal.useMessageBox = false;
    showErrorKey(f.ctx, f.config, 1005, std::nullopt);
    EXPECT_EQ(f.fake.console.stderrText, "\n");

    Fixture g;
    g.fake.env.put("KAVRIN_LOG", "yes");
    logInfo(g.ctx, "start");
    showErrorKey(g.ctx, g.config, 1005, std::nullopt);
    EXPECT_EQ(g.fake.console.stderrText, "\n\nLog: " + *getLogPath(g.ctx) + "\n");
}

TEST(ErrorText, MessageBoxUsesCaptionKeyAndRunsCleanupFirst) {
    Fixture f;
    f.ctx.fatal.useMessageBox = true;
    registerDirectoryForCleanup(f.ctx, "C:\\Temp\\kvr1.tmp_dir5");
    showErrorMessage(f.ctx, "boom");
    ASSERT_EQ(f.fake.console.boxes.size(), 1u);
    EXPECT_EQ(f.fake.console.boxes[0], std::make_pair(std::string("boom"), std::string("Error")));
    EXPECT_EQ(f.queue("delete_dir"), std::optional<std::string>("C:\\Temp\\kvr1.tmp_dir5;"));
}

TEST(ExitCleanup, QueuesEveryRegisteredDirectoryEachTimeItRuns) {
    Fixture f;
    registerDirectoryForCleanup(f.ctx, "C:\\Temp\\a");
    registerDirectoryForCleanup(f.ctx, ".\\relative");  // never listed
    registerDirectoryForCleanup(f.ctx, "C:\\Temp\\b");
    runExitCleanup(f.ctx);
    EXPECT_THROW(exitWithCleanup(f.ctx, 7), ProcessExit);
    EXPECT_EQ(f.queue("delete_dir"), std::optional<std::string>("C:\\Temp\\a;C:\\Temp\\b;C:\\Temp\\a;C:\\Temp\\b;"));
    EXPECT_EQ(f.queue("delete_file"), std::nullopt);
    const auto raw = f.fake.registry.value(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp", "delete_dir");
    EXPECT_EQ(raw->type, kRegSz);
}

TEST(ScheduleDeletion, RefusesAnEntryThatWouldReachTheLimit) {
    Fixture f;
    f.fake.env.put("KAVRIN_LOG", "yes");
    const std::string existing(32000, 'p');
    f.fake.registry.setString(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp", "delete_dir", existing);
    const std::string fits(32768 - 32000 - 3, 'f');  // + list + 2 == 32767 < 32768
    scheduleDeletion(f.ctx, fits, kDeleteDirValue);
    EXPECT_EQ(f.queue("delete_dir")->size(), 32767u - 1);
    const std::string tooLong(1, 'x');  // now list + 1 + 2 == 32769
    scheduleDeletion(f.ctx, tooLong, kDeleteDirValue);
    EXPECT_EQ(f.queue("delete_dir")->size(), 32766u);
    const std::string log = f.fake.logText();
    EXPECT_NE(log.find("schedule for deletion in delete_dir: " + fits + "\n"), std::string::npos);
    EXPECT_NE(log.find("couldn't schedule for deletion in delete_dir: x\n"), std::string::npos);
}

TEST(ScheduleDeletion, UnavailableKeyIsASilentNoOp) {
    Fixture f;
    f.fake.registry.failCreate = true;
    scheduleDeletion(f.ctx, "C:\\x", kDeleteDirValue);
    EXPECT_FALSE(f.fake.registry.keyExists(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp"));
}
