// The deletion queue written into the real registry, and the log file on disk.
#include "Win32TestSupport.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"

namespace kavrin::test {
namespace {

constexpr const char* kQueue = "SOFTWARE\\dalvenco\\kavrin\\temp\\";

class ScheduleDeletionTest : public Win32Test {
protected:
    void SetUp() override {
        Win32Test::SetUp();
        // The log goes to this test's directory.
        savedTmp = os.env.get("TMP");
        ASSERT_TRUE(os.env.set("TMP", scratch.substr(0, scratch.size() - 1)));
        ASSERT_TRUE(os.env.set("KAVRIN_LOG", "yes"));
    }
    void TearDown() override {
        os.env.set("KAVRIN_LOG", "no");
        ctx.log.stream.reset();  // closed, so the scratch directory can go
        if (savedTmp) os.env.set("TMP", *savedTmp);
        Win32Test::TearDown();
    }

    void setList(const std::string& list) {
        auto key = os.registry.createKey(RegRoot::CurrentUser, kQueue);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->setValue("delete_dir", kRegSz, list));
    }
    std::optional<RegValue> list() {
        auto key = os.registry.openKey(RegRoot::CurrentUser, kQueue, RegAccess::Read);
        if (!key) return std::nullopt;
        return key->queryValue("delete_dir", 65536);
    }
    std::string logText() {
        auto path = getLogPath(ctx);
        return path ? withoutTimestamps(readFile(*path)) : "<no log>";
    }

    Process ctx{os};
    std::optional<std::string> savedTmp;
};

TEST_F(ScheduleDeletionTest, AppendsThePathAndASemicolonWithoutATerminator) {
    setList("c:\\first;");
    scheduleDeletion(ctx, "c:\\temp\\kvr1.tmp_dir42", "delete_dir");
    scheduleDeletion(ctx, "c:\\temp\\kvr1.tmp_dir42", "delete_dir");  // a second run lists it again
    auto value = list();
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, kRegSz);
    // The list is written with its string length; the registry itself then counts
    // the zero that follows it in memory (NT does so, and Wine copies it), so it
    // reads back with exactly one terminator.
    EXPECT_EQ(value->data, std::string("c:\\first;c:\\temp\\kvr1.tmp_dir42;c:\\temp\\kvr1.tmp_dir42;") + '\0');
    EXPECT_NE(logText().find("\r\nschedule for deletion in delete_dir: c:\\temp\\kvr1.tmp_dir42\r\n"),
              std::string::npos)
        << logText();
}

TEST_F(ScheduleDeletionTest, CreatesTheKeyAndTheValueWhenMissing) {
    auto root = os.registry.createKey(RegRoot::CurrentUser, kQueue);
    ASSERT_TRUE(root);
    ASSERT_TRUE(root->setValue("delete_file", kRegSz, "untouched;"));
    setList("");
    scheduleDeletion(ctx, "c:\\only", "delete_dir");
    EXPECT_EQ(list().value_or(RegValue{}).data, std::string("c:\\only;\0", 9));
    EXPECT_EQ(root->queryValue("delete_file", 100).value_or(RegValue{}).data, std::string("untouched;\0", 11));
}

TEST_F(ScheduleDeletionTest, RefusesAListThatWouldReach32768Bytes) {
    const std::string path = "c:\\temp\\kvr2.tmp_dir7";
    // The registry reports the list with its terminator, so path + (list + 1) + 2
    // must stay below 32768: a list of 32764 - path bytes is the largest that takes it.
    const std::string fits(32764 - path.size(), 'a');
    setList(fits);
    scheduleDeletion(ctx, path, "delete_dir");
    std::string after = list().value_or(RegValue{}).data;
    EXPECT_EQ(after.size(), fits.size() + path.size() + 2);
    EXPECT_TRUE(after == fits + path + ";" + '\0') << "the entry was not appended";

    // One byte more and the value stays as it was.
    const std::string full(fits.size() + 1, 'b');
    setList(full);
    scheduleDeletion(ctx, path, "delete_dir");
    after = list().value_or(RegValue{}).data;
    EXPECT_EQ(after.size(), full.size() + 1);
    EXPECT_TRUE(after == full + '\0') << "the list changed";
    EXPECT_NE(logText().find("\r\ncouldn't schedule for deletion in delete_dir: c:\\temp\\kvr2.tmp_dir7\r\n"),
              std::string::npos)
        << logText().substr(0, 500);
}

TEST_F(ScheduleDeletionTest, TheLogFileStartsWithTheHeaderAndAnEmptyLine) {
    logInfo(ctx, "first line");
    auto path = getLogPath(ctx);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->rfind(scratch + "mvx_nlog_", 0), 0u) << *path;
    std::string text = withoutTimestamps(readFile(*path));
    const std::string header = "Started executable " + os.module.fileNameA() + " at ";
    ASSERT_EQ(text.rfind(header, 0), 0u) << text;
    // ctime's 24 characters and its line feed, then the line feed of the header.
    EXPECT_EQ(text.substr(header.size() + 24), "\r\n\r\nfirst line\r\n");
}

}  // namespace
}  // namespace kavrin::test
