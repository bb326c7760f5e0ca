// The deletion queue against the real registry and file system: files held open by
// another process survive, everything else listed goes, both values are rewritten.
#include "Win32TestSupport.h"

#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/DeletionQueue.h"
#include "files/TempFiles.h"

namespace kavrin::test {
namespace {

class DeletionQueueWin : public Win32Test {
protected:
    void SetUp() override {
        Win32Test::SetUp();
        os.env.set("KAVRIN_LOG", "yes");
        previousTmp = os.env.get("TMP").value_or("");
        key = os.registry.createKey(RegRoot::CurrentUser, kDeletionQueueKey);
        ASSERT_TRUE(key);
    }
    void TearDown() override {
        key->setValue(kDeleteFileValue, kRegSz, "");
        key->setValue(kDeleteDirValue, kRegSz, "");
        os.env.set("KAVRIN_LOG", "");
        Win32Test::TearDown();
    }
    std::string value(const char* name) {
        auto v = key->queryValue(name, 1 << 16);
        if (!v) return "<missing>";
        // Wine's ANSI query hands back a terminator that was never written.
        std::string data = v->data;
        while (!data.empty() && data.back() == '\0') data.pop_back();
        return data;
    }
    std::string mkdir(const std::string& name) {
        EXPECT_TRUE(os.fs.createDirectory(scratch + name)) << name;
        return scratch + name;
    }
    std::string logOf(Process& ctx) {
        auto path = getLogPath(ctx);
        if (!path) return "<no log>";
        ctx.log.stream.reset();  // closed, so the file can go
        std::string text = readFile(*path);
        std::string lf;
        for (char c : text)
            if (c != '\r') lf += c;
        os.fs.deleteFile(*path);
        return withoutTimestamps(lf.substr(lf.find("\n\n") + 2));
    }
    bool exists(const std::string& path) { return os.fs.findFirst(path).has_value(); }

    std::unique_ptr<RegKey> key;
    std::string previousTmp;
};

TEST_F(DeletionQueueWin, LeavesExactlySurvivorsAndLogsThem) {
    // The queue acts only directly in a temporary directory: the scratch one is, for this test.
    ASSERT_TRUE(os.env.set("TMP", scratch));
    // A file held by another process: a sleeping child whose standard error it is.
    const std::string held = scratch + "kvrC.tmp";
    SpawnOptions options;
    options.stderrFile = held;
    auto holder = os.processes.spawn("\"" + exeDirectory() + "kavrin-test-child.exe\" --sleep 20000", options);
    ASSERT_TRUE(holder);
    const std::string free = writeFile("kvr_p7.tmp", "x");
    const std::string gone = scratch + "kvrD.tmp";
    key->setValue(kDeleteFileValue, kRegSz, held + ";" + gone + ";" + free + ";");

    const std::string twice = mkdir("kvrA.tmp_dir1");
    writeFile("kvrA.tmp_dir1\\a.bin", "a");
    const std::string parent = mkdir("kvrB.tmp_dir2");
    writeFile("kvrB.tmp_dir2\\b.bin", "b");
    mkdir("kvrB.tmp_dir2\\empty");
    mkdir("kvrB.tmp_dir2\\sub");
    writeFile("kvrB.tmp_dir2\\sub\\c.bin", "c");
    key->setValue(kDeleteDirValue, kRegSz, twice + ";.\\" + "kvrB.tmp_dir2;" + twice + ";" + parent + ";");

    Process ctx(os);
    processDeletionQueue(ctx);
    os.env.set("TMP", previousTmp);
    holder->terminate(0);
    holder->wait(10000);

    EXPECT_EQ(value(kDeleteFileValue), held + ";");
    EXPECT_EQ(value(kDeleteDirValue), parent + ";");
    EXPECT_TRUE(exists(held));
    EXPECT_FALSE(exists(free));
    EXPECT_FALSE(exists(twice));
    EXPECT_FALSE(exists(parent + "\\b.bin"));
    EXPECT_FALSE(exists(parent + "\\empty"));  // "*.*" matches names without a dot
    EXPECT_TRUE(exists(parent + "\\sub\\c.bin"));

    EXPECT_EQ(logOf(ctx), "didn't delete " + held + "\n" + "delete file " + free + "\n" + "delete queue " + twice +
                              ";.\\kvrB.tmp_dir2;" + twice + ";" + parent + ";\n" + "emptying " + twice + "\n" +
                              "attempting to delete " + twice + "\\a.bin\n" + "delete dir " + twice + "\n" +
                              "emptying " + twice + "\n" + "delete dir " + twice + "\n" + "emptying " + parent + "\n" +
                              "attempting to delete " + parent + "\\b.bin\n" + "attempting to remove " + parent +
                              "\\empty\n" + "attempting to remove " + parent + "\\sub\n" + "delete dir " + parent +
                              "\n" + "didn't delete " + parent + "\n");
}

TEST_F(DeletionQueueWin, TempNamesLandInTheTempDirectory) {
    Process ctx(os);
    const std::string dir = getTempDirectory(ctx);
    EXPECT_EQ(dir, os.fs.tempPath());
    const std::string name = createTempFileName(ctx);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.rfind(dir + "kvr", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_TRUE(canOpenExclusively(ctx, name));
    EXPECT_TRUE(os.fs.deleteFile(name));
    EXPECT_TRUE(isWritableDirectory(ctx, scratch.substr(0, scratch.size() - 1)));
    EXPECT_FALSE(exists(scratch + "kvr_w_testdir"));
}

}  // namespace
}  // namespace kavrin::test
