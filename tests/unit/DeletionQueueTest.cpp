#include <gtest/gtest.h>

#include "diagnostics/Errors.h"
#include "fakes/LauncherWorld.h"
#include "files/DeletionQueue.h"

namespace kavrin {
namespace {

constexpr const char* kQueue = "SOFTWARE\\dalvenco\\kavrin\\temp";

class DeletionQueue : public ::testing::Test, protected test::LauncherWorld {
protected:
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
    fake.fs.addFile("C:\\Temp\\kvrA1.tmp", "x");
    fake.fs.holdOpen("C:\\Temp\\kvrA1.tmp", FileAccess::Read, FileShare::ReadWrite);  // another process
    fake.fs.addFile("C:\\Temp\\kvr_p42.tmp", "x");
    queue(kDeleteFileValue, "C:\\Temp\\kvrA1.tmp;C:\\Temp\\kvrB2.tmp;C:\\Temp\\kvr_p42.tmp;");

    fake.fs.addFile("C:\\Temp\\kvr1.tmp_dir1\\a.bin", "a");
    fake.fs.addDirectory("C:\\Temp\\kvr2.tmp_dir2\\empty");
    fake.fs.addFile("C:\\Temp\\kvr2.tmp_dir2\\b.bin", "b");
    fake.fs.addFile("C:\\Temp\\kvr2.tmp_dir2\\sub\\c.bin", "c");  // a non-empty subdirectory
    fake.fs.addFile(".\\dot\\keep.bin", "k");
    fake.fs.currentDirectory = "C:\\Temp";
    queue(kDeleteDirValue, "C:\\Temp\\kvr1.tmp_dir1;.\\dot;C:\\Temp\\kvr1.tmp_dir1;C:\\Temp\\kvr2.tmp_dir2;");

    processDeletionQueue(ctx);

    EXPECT_EQ(queued(kDeleteFileValue), "C:\\Temp\\kvrA1.tmp;");
    EXPECT_EQ(queued(kDeleteDirValue), "C:\\Temp\\kvr2.tmp_dir2;");
    EXPECT_TRUE(fake.fs.exists("C:\\Temp\\kvrA1.tmp"));
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\kvr_p42.tmp"));
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\kvr1.tmp_dir1"));
    // One level only: the file and the empty subdirectory go, the non-empty one keeps its parent.
    EXPECT_EQ(fake.fs.children("C:\\Temp\\kvr2.tmp_dir2"), std::vector<std::string>{"sub"});
    EXPECT_TRUE(fake.fs.exists(".\\dot\\keep.bin"));

    EXPECT_EQ(logBody(),
              "didn't delete C:\\Temp\\kvrA1.tmp\n"
              "delete file C:\\Temp\\kvr_p42.tmp\n"
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

TEST_F(DeletionQueue, DirectoriesThisProcessHoldsAreKeptWithoutATry) {
    fake.fs.addFile("C:\\Temp\\kvr3.tmp_dir3\\app.jar", "a");
    ctx.heldDirectories.push_back("C:\\Temp\\kvr3.tmp_dir3");
    queue(kDeleteDirValue, "c:\\temp\\KVR3.tmp_dir3;");

    processDeletionQueue(ctx);

    EXPECT_EQ(queued(kDeleteDirValue), "c:\\temp\\KVR3.tmp_dir3;");
    EXPECT_TRUE(fake.fs.exists("C:\\Temp\\kvr3.tmp_dir3\\app.jar"));
    EXPECT_EQ(logBody(),
              "delete queue c:\\temp\\KVR3.tmp_dir3;\n"
              "kept, in use by this process: c:\\temp\\KVR3.tmp_dir3\n");
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

// A queue with nothing to do (the file list empty, every listed directory held by this
// process) is only looked at: no lock, no write. Anything else takes the locked path (seen
// here as "busy", the lock being unavailable), so no entry is ever skipped; there the file
// list is written only when it is not stored as it should stay.
TEST_F(DeletionQueue, OnlyAQueueWithNothingToDoSkipsTheLock) {
    const std::string held = "C:\\Temp\\kvr1.tmp_dir1";
    const struct {
        std::optional<std::string> files, dirs;
        bool locked;
        int fileListWrites;
        std::string dirsAfter;
    } rows[] = {
        {"", "", false, 0, ""},
        {"", held + ";", false, 0, held + ";"},
        {"C:\\Temp\\kvr1.tmp;", "", true, 1, ""},
        {"", "C:\\Temp\\kvr2.tmp_dir2;", true, 0, ""},
        {"", held + ";C:\\Temp\\kvr2.tmp_dir2;", true, 0, held + ";"},
        {std::nullopt, "", true, 1, ""},  // written even when missing
        {"", std::nullopt, true, 0, ""},
        {"", ";" + std::string(1, '\0'), true, 0, ""},  // no entry: tidied away
        {std::string(1, '\0'), "", true, 1, ""},        // rewritten without the terminator
        {"", held + ";" + std::string(1, '\0'), false, 0, held + ";" + std::string(1, '\0')},
        {"", held + ";" + std::string(1, '\0') + "C:", true, 0, held + ";"},
    };
    for (const bool lockAvailable : {false, true}) {
        for (const auto& row : rows) {
            test::FakePlatform fresh;
            Process c(fresh.platform);
            c.heldDirectories.push_back(held);
            fresh.env.put("KAVRIN_LOG", "yes");
            fresh.processes.failNamedLock = !lockAvailable;
            fresh.registry.createKey(RegRoot::CurrentUser, kQueue);
            if (row.files) fresh.registry.setString(RegRoot::CurrentUser, kQueue, kDeleteFileValue, *row.files);
            if (row.dirs) fresh.registry.setString(RegRoot::CurrentUser, kQueue, kDeleteDirValue, *row.dirs);
            fresh.registry.writes.clear();
            processDeletionQueue(c);
            const std::string log = fresh.logText();
            if (!lockAvailable) {
                EXPECT_EQ(log.find("ERROR: deletion queue busy") != std::string::npos, row.locked) << log;
                continue;
            }
            EXPECT_EQ(fresh.registry.writes[kDeleteFileValue], row.fileListWrites) << log;
            EXPECT_EQ(fresh.registry.writes[kDeleteDirValue], row.locked ? 1 : 0) << log;
            EXPECT_EQ(fresh.registry.value(RegRoot::CurrentUser, kQueue, kDeleteFileValue)->data, "") << log;
            EXPECT_EQ(fresh.registry.value(RegRoot::CurrentUser, kQueue, kDeleteDirValue)->data, row.dirsAfter) << log;
        }
    }
}

TEST_F(DeletionQueue, DataWithATerminatingZeroEndsThere) {
    fake.fs.addDirectory("C:\\Temp\\kvr3.tmp_dir3");
    queue(kDeleteDirValue, std::string("C:\\Temp\\kvr3.tmp_dir3;\0", 22));
    processDeletionQueue(ctx);
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\kvr3.tmp_dir3"));
    EXPECT_EQ(queued(kDeleteDirValue), "");
}

// Whatever scheduleDeletion may write is read and processed (it once stalled past 8 KB,
// for every program sharing the key); only a longer list, which is not ours, is left alone.
TEST_F(DeletionQueue, ListsUpToWhatTheWriterWritesAreProcessed) {
    for (size_t size : {size_t{8193}, size_t{32767}, size_t{32769}}) {
        test::FakePlatform fresh;
        Process c(fresh.platform);
        fresh.env.put("KAVRIN_LOG", "yes");
        fresh.fs.addDirectory("C:\\Temp\\kvr1.tmp_dir1");
        const std::string ours = "C:\\Temp\\kvr1.tmp_dir1;";
        std::string filler;  // someone else's entries
        while (filler.size() + 16 < size - ours.size()) filler += "C:\\Other\\filler;";
        filler += std::string(size - ours.size() - filler.size() - 1, 'x') + ";";
        const std::string list = ours + filler;
        ASSERT_EQ(list.size(), size);
        fresh.registry.setString(RegRoot::CurrentUser, kQueue, kDeleteDirValue, list);

        processDeletionQueue(c);

        const std::string left = fresh.registry.value(RegRoot::CurrentUser, kQueue, kDeleteDirValue)->data;
        if (size <= 32768) {
            EXPECT_FALSE(fresh.fs.exists("C:\\Temp\\kvr1.tmp_dir1")) << size;
            EXPECT_EQ(left, filler) << size;
        } else {
            EXPECT_TRUE(fresh.fs.exists("C:\\Temp\\kvr1.tmp_dir1"));
            EXPECT_EQ(left, list);
            EXPECT_NE(
                fresh.logText().find("ERROR: deletion queue delete_dir is longer than 32768 bytes, left unchanged\n"),
                std::string::npos);
        }
    }
}

// Other programs share the key: only the launcher's own names, directly in a temporary
// directory, are acted on; everything else stays listed as it was.
TEST_F(DeletionQueue, ForeignEntriesStayUntouched) {
    const std::vector<std::string> foreignDirs = {"C:\\Users\\kvr1.tmp_dir1",      // not in a temporary directory
                                                  "C:\\Temp\\sub\\kvr1.tmp_dir1",  // not directly in it
                                                  "C:\\Temp\\myapp",               // not our name
                                                  "C:\\Temp\\kvr1.tmp_dir1x",
                                                  "C:\\Temp\\kvrG.tmp_dir1",
                                                  "C:\\Temp\\kvr12345.tmp_dir1",
                                                  "C:\\Temp\\kvr1.tmp_dir123456",
                                                  "C:\\Temp\\kvr1.tmp"};  // a file's shape in the directory list
    const std::vector<std::string> foreignFiles = {"C:\\Temp\\report.doc", "C:\\Windows\\System32\\kvr1.tmp",
                                                   "C:\\Temp\\kvr1.tmp_dir1", "C:\\Temp\\kvr_px.tmp"};
    std::string dirs, files;
    for (const std::string& d : foreignDirs) {
        fake.fs.addFile(d + "\\inside.bin", "x");
        dirs += d + ";";
    }
    for (const std::string& f : foreignFiles) {
        if (!fake.fs.exists(f)) fake.fs.addFile(f, "x");
        files += f + ";";
    }
    // Our own, in each kind of temporary directory, go.
    const std::vector<std::string> ours = {"C:\\Temp\\kvrAB.tmp_dir7", "C:\\Windows\\temp\\KVR1f.TMP_DIR0",
                                           "c:\\tmp\\kvr2.tmp_dir2"};
    for (const std::string& d : ours) fake.fs.addFile(d + "\\a.bin", "a");
    fake.fs.addFile("C:\\Temp\\kvrFFFF.tmp", "x");
    queue(kDeleteDirValue, ours[0] + ";" + dirs + ours[1] + ";" + ours[2] + ";");
    queue(kDeleteFileValue, files + "C:\\Temp\\kvrFFFF.tmp;");

    processDeletionQueue(ctx);

    EXPECT_EQ(queued(kDeleteDirValue), dirs);
    EXPECT_EQ(queued(kDeleteFileValue), files);
    for (const std::string& d : foreignDirs) EXPECT_TRUE(fake.fs.exists(d + "\\inside.bin")) << d;
    for (const std::string& f : foreignFiles) EXPECT_TRUE(fake.fs.exists(f)) << f;
    for (const std::string& d : ours) EXPECT_FALSE(fake.fs.exists(d)) << d;
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\kvrFFFF.tmp"));
}

// Over the fake: Wine 8 makes neither junctions nor symbolic links. A link where a queued
// directory or file was, or inside a queued directory, goes as a link; its target stays.
TEST_F(DeletionQueue, LinksAreRemovedAsLinksNeverFollowed) {
    fake.fs.addFile("C:\\Windows\\System32\\config\\SAM", "secret");
    fake.fs.addFile("C:\\Data\\keep.txt", "keep");
    fake.fs.addLink("C:\\Temp\\kvr1.tmp_dir1", "C:\\Windows\\System32\\config");
    fake.fs.addFile("C:\\Temp\\kvr2.tmp_dir2\\a.bin", "a");
    fake.fs.addLink("C:\\Temp\\kvr2.tmp_dir2\\inner", "C:\\Data");
    fake.fs.addLink("C:\\Temp\\kvr3.tmp", "C:\\Data\\keep.txt", false);
    queue(kDeleteDirValue, "C:\\Temp\\kvr1.tmp_dir1;C:\\Temp\\kvr2.tmp_dir2;");
    queue(kDeleteFileValue, "C:\\Temp\\kvr3.tmp;");

    processDeletionQueue(ctx);

    EXPECT_EQ(fake.fs.content("C:\\Windows\\System32\\config\\SAM"), "secret");
    EXPECT_EQ(fake.fs.content("C:\\Data\\keep.txt"), "keep");
    for (const char* gone : {"C:\\Temp\\kvr1.tmp_dir1", "C:\\Temp\\kvr2.tmp_dir2", "C:\\Temp\\kvr3.tmp"})
        EXPECT_FALSE(fake.fs.exists(gone)) << gone;
    EXPECT_EQ(queued(kDeleteDirValue), "");
    EXPECT_EQ(queued(kDeleteFileValue), "");
}

// The control handler's scheduleDeletion and other launchers rewrite the same values.
TEST_F(DeletionQueue, UpdatesHoldTheMachineWideLock) {
    fake.fs.addDirectory("C:\\Temp\\kvr1.tmp_dir1");
    queue(kDeleteDirValue, "C:\\Temp\\kvr1.tmp_dir1;");
    fake.processes.failNamedLock = true;
    processDeletionQueue(ctx);
    EXPECT_TRUE(fake.fs.exists("C:\\Temp\\kvr1.tmp_dir1"));  // left for the next start
    EXPECT_EQ(queued(kDeleteDirValue), "C:\\Temp\\kvr1.tmp_dir1;");
    scheduleDeletion(ctx, "C:\\Temp\\kvr2.tmp_dir2", kDeleteDirValue);  // written all the same
    EXPECT_EQ(queued(kDeleteDirValue), "C:\\Temp\\kvr1.tmp_dir1;C:\\Temp\\kvr2.tmp_dir2;");

    fake.processes.failNamedLock = false;
    processDeletionQueue(ctx);
    scheduleDeletion(ctx, "C:\\Temp\\kvr3.tmp_dir3", kDeleteDirValue);
    EXPECT_EQ(fake.processes.namedLocksTaken, 2);
    EXPECT_EQ(fake.processes.namedLockNames, (std::vector<std::string>{kDeletionQueueLock, kDeletionQueueLock}));
    EXPECT_EQ(fake.processes.namedLocksHeld, 0);
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\kvr1.tmp_dir1"));
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
