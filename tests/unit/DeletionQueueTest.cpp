#include <gtest/gtest.h>

#include "config/Context.h"
#include "diagnostics/Errors.h"
#include "fakes/FakePlatform.h"
#include "files/DeletionQueue.h"

namespace kavrin {
namespace {

constexpr const char* kQueue = "SOFTWARE\\dalvenco\\kavrin\\temp";

class DeletionQueue : public ::testing::Test {
protected:
    test::FakePlatform fake;
    Context ctx{fake.platform};

    void SetUp() override { fake.env.put("KAVRIN_LOG", "yes"); }

    void queue(const char* value, const std::string& list) {
        fake.registry.setString(RegRoot::CurrentUser, kQueue, value, list);
    }
    std::optional<std::string> queued(const char* value) {
        auto v = fake.registry.value(RegRoot::CurrentUser, kQueue, value);
        if (!v) return std::nullopt;
        EXPECT_EQ(v->type, kRegSz);
        return v->data;
    }
    // The log without its header line.
    std::string logBody() {
        const std::string text = fake.logText();
        const size_t start = text.find("\n\n");
        return start == std::string::npos ? text : text.substr(start + 2);
    }
};

TEST_F(DeletionQueue, LeavesExactlyTheSurvivors) {
    fake.fs.addFile("C:\\Temp\\held.tmp", "x");
    fake.fs.holdOpen("C:\\Temp\\held.tmp", FileAccess::Read, FileShare::ReadWrite);  // another process
    fake.fs.addFile("C:\\Temp\\free.tmp", "x");
    queue(kDeleteFileValue, "C:\\Temp\\held.tmp;C:\\Temp\\gone.tmp;C:\\Temp\\free.tmp;");

    fake.fs.addFile("C:\\Temp\\kvr1.tmp_dir1\\a.bin", "a");
    fake.fs.addDirectory("C:\\Temp\\kvr2.tmp_dir2\\empty");
    fake.fs.addFile("C:\\Temp\\kvr2.tmp_dir2\\b.bin", "b");
    fake.fs.addFile("C:\\Temp\\kvr2.tmp_dir2\\sub\\c.bin", "c");  // a non-empty subdirectory
    fake.fs.addFile(".\\dot\\keep.bin", "k");
    fake.fs.currentDirectory = "C:\\Temp";
    queue(kDeleteDirValue, "C:\\Temp\\kvr1.tmp_dir1;.\\dot;C:\\Temp\\kvr1.tmp_dir1;C:\\Temp\\kvr2.tmp_dir2;");

    processDeletionQueue(ctx);

    EXPECT_EQ(queued(kDeleteFileValue), "C:\\Temp\\held.tmp;");
    EXPECT_EQ(queued(kDeleteDirValue), "C:\\Temp\\kvr2.tmp_dir2;");
    EXPECT_TRUE(fake.fs.exists("C:\\Temp\\held.tmp"));
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\free.tmp"));
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\kvr1.tmp_dir1"));
    // One level only: the file and the empty subdirectory go, the non-empty one keeps its parent.
    EXPECT_EQ(fake.fs.children("C:\\Temp\\kvr2.tmp_dir2"), std::vector<std::string>{"sub"});
    EXPECT_TRUE(fake.fs.exists(".\\dot\\keep.bin"));

    EXPECT_EQ(logBody(),
              "didn't delete C:\\Temp\\held.tmp\n"
              "delete file C:\\Temp\\free.tmp\n"
              "delete queue C:\\Temp\\kvr1.tmp_dir1;.\\dot;C:\\Temp\\kvr1.tmp_dir1;C:\\Temp\\kvr2.tmp_dir2;\n"
              "emptying C:\\Temp\\kvr1.tmp_dir1\n"
              "attempting to delete C:\\Temp\\kvr1.tmp_dir1\\a.bin\n"
              "delete dir C:\\Temp\\kvr1.tmp_dir1\n"
              "emptying C:\\Temp\\kvr1.tmp_dir1\n"
              "delete dir C:\\Temp\\kvr1.tmp_dir1\n"
              "emptying C:\\Temp\\kvr2.tmp_dir2\n"
              "attempting to delete C:\\Temp\\kvr2.tmp_dir2\\b.bin\n"
              "attempting to remove C:\\Temp\\kvr2.tmp_dir2\\empty\n"
              "attempting to remove C:\\Temp\\kvr2.tmp_dir2\\sub\n"
              "delete dir C:\\Temp\\kvr2.tmp_dir2\n"
              "didn't delete C:\\Temp\\kvr2.tmp_dir2\n");
}

TEST_F(DeletionQueue, MissingKeyIsSkippedSilently) {
    processDeletionQueue(ctx);
    EXPECT_FALSE(fake.registry.keyExists(RegRoot::CurrentUser, kQueue));
    EXPECT_EQ(logBody(), "");
}

TEST_F(DeletionQueue, BothValuesAreWrittenEvenWhenMissing) {
    fake.registry.createKey(RegRoot::CurrentUser, kQueue);
    processDeletionQueue(ctx);
    EXPECT_EQ(queued(kDeleteFileValue), "");
    EXPECT_EQ(queued(kDeleteDirValue), "");
    EXPECT_EQ(logBody(), "delete queue \n");
}

TEST_F(DeletionQueue, DataWithATerminatingZeroEndsThere) {
    fake.fs.addDirectory("C:\\Temp\\d");
    queue(kDeleteDirValue, std::string("C:\\Temp\\d;\0", 11));
    processDeletionQueue(ctx);
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\d"));
    EXPECT_EQ(queued(kDeleteDirValue), "");
}

// Decision: a list the 8192-byte read cannot hold is neither acted on nor rewritten.
TEST_F(DeletionQueue, ListLongerThanTheReadIsLeftAlone) {
    fake.fs.addDirectory("C:\\Temp\\d");
    std::string longList = "C:\\Temp\\d;";
    while (longList.size() <= 8192) longList += "C:\\Temp\\filler;";
    queue(kDeleteDirValue, longList);
    fake.fs.addFile("C:\\Temp\\f", "");
    queue(kDeleteFileValue, "C:\\Temp\\f;");

    processDeletionQueue(ctx);

    EXPECT_EQ(queued(kDeleteDirValue), longList);
    EXPECT_TRUE(fake.fs.exists("C:\\Temp\\d"));
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\f"));  // the other list is still processed
    EXPECT_EQ(queued(kDeleteFileValue), "");
    EXPECT_NE(logBody().find("ERROR: deletion queue delete_dir is longer than 8192 bytes, left unchanged\n"),
              std::string::npos);
    EXPECT_EQ(logBody().find("delete queue"), std::string::npos);
}

TEST_F(DeletionQueue, ListOfExactly8192BytesIsProcessed) {
    fake.fs.addDirectory("C:\\Temp\\d");
    std::string list = "C:\\Temp\\d;";
    list += std::string(8192 - list.size() - 1, 'x') + ";";
    ASSERT_EQ(list.size(), 8192u);
    queue(kDeleteDirValue, list);
    processDeletionQueue(ctx);
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\d"));
    EXPECT_EQ(queued(kDeleteDirValue), "");
}

TEST_F(DeletionQueue, EmptyDirectoryIgnoresEmptyAndDotPaths) {
    fake.fs.addFile("C:\\Temp\\x.bin", "");
    fake.fs.currentDirectory = "C:\\Temp";
    emptyDirectory(ctx, "");
    emptyDirectory(ctx, ".");
    emptyDirectory(ctx, ".\\");
    EXPECT_TRUE(fake.fs.exists("C:\\Temp\\x.bin"));
    EXPECT_EQ(logBody(), "");
}

TEST_F(DeletionQueue, EmptyDirectoryAddsNoSecondBackslash) {
    fake.fs.addFile("C:\\Temp\\d\\x.bin", "");
    emptyDirectory(ctx, "C:\\Temp\\d\\");
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\d\\x.bin"));
    EXPECT_EQ(logBody(), "emptying C:\\Temp\\d\\\nattempting to delete C:\\Temp\\d\\x.bin\n");
}

TEST_F(DeletionQueue, ExclusiveOpenFailsForHeldMissingAndDirectories) {
    fake.fs.addFile("C:\\Temp\\f", "");
    EXPECT_TRUE(canOpenExclusively(ctx, "C:\\Temp\\f"));
    EXPECT_TRUE(canOpenExclusively(ctx, "C:\\Temp\\f"));  // the handle was closed again
    fake.fs.holdOpen("C:\\Temp\\f", FileAccess::Read, FileShare::All);
    EXPECT_FALSE(canOpenExclusively(ctx, "C:\\Temp\\f"));
    EXPECT_FALSE(canOpenExclusively(ctx, "C:\\Temp\\none"));
    EXPECT_FALSE(canOpenExclusively(ctx, "C:\\Temp"));
}

}  // namespace
}  // namespace kavrin
