#include <gtest/gtest.h>

#include "fakes/LauncherWorld.h"
#include "files/TempFiles.h"

namespace kavrin {
namespace {

constexpr const char* kPowerUser = "I am sorry, but you must be at least Poweruser to run this program.\n";

// GetLongPathNameA failing although the directory exists (e.g. a permission on a parent).
class NoLongPathFileSystem : public test::FakeFileSystem {
public:
    std::optional<std::string> longPathName(const std::string&) override { return std::nullopt; }
};

class TempDirectory : public ::testing::Test, protected test::LauncherWorld {
protected:
    // A temporary path whose long form the ANSI code page cannot carry.
    void unrepresentableTempPath() {
        fake.fs.tempPathValue = "C:\\Users\\?????\\Temp\\";
        fake.fs.addDirectory("C:\\Users\\?????\\Temp");
        fake.fs.nodes.erase(test::FakeFileSystem::keyOf("C:\\Temp"));  // also the fallback c:\temp
    }
};

TEST_F(TempDirectory, RepresentableLongFormIsUsedUnchangedWithoutAWritabilityTest) {
    fake.fs.failCreateDirectory.push_back("C:\\Temp\\\\kvr_w_testdir");
    EXPECT_EQ(getTempDirectory(ctx), "C:\\Temp\\");
    EXPECT_FALSE(fake.fs.exists("C:\\Windows\\temp\\kvr_w_testdir"));
}

TEST_F(TempDirectory, UnrepresentableLongFormFallsBackToWindowsTemp) {
    unrepresentableTempPath();
    fake.fs.addDirectory("C:\\Windows\\temp");
    fake.fs.addDirectory("c:\\temp");  // writable too, but later in the order
    EXPECT_EQ(getTempDirectory(ctx), "C:\\Windows\\temp");
    EXPECT_FALSE(fake.fs.exists("C:\\Windows\\temp\\kvr_w_testdir"));  // the probe is cleaned up
}

TEST_F(TempDirectory, FallbacksAreTriedInOrder) {
    unrepresentableTempPath();
    fake.fs.addDirectory("c:\\tmp");  // c:\temp and Windows\temp missing: c:\tmp is next
    EXPECT_EQ(getTempDirectory(ctx), "c:\\tmp");
    fake.fs.nodes.erase(test::FakeFileSystem::keyOf("c:\\tmp"));
    EXPECT_EQ(getTempDirectory(ctx), "C:\\Windows");
}

TEST_F(TempDirectory, OnlyDriveRootWritableCreatesCTmp) {
    unrepresentableTempPath();
    fake.fs.failCreateDirectory.push_back("C:\\Windows\\kvr_w_testdir");
    EXPECT_EQ(getTempDirectory(ctx), "c:\\tmp");
    EXPECT_TRUE(fake.fs.isDirectory("c:\\tmp"));
}

TEST_F(TempDirectory, NothingWritableShowsThePowerUserBoxAndExits1) {
    unrepresentableTempPath();
    fake.fs.failCreateDirectory = {"C:\\Windows\\kvr_w_testdir", "c:\\\\kvr_w_testdir"};
    ctx.fatal.useMessageBox = false;  // the box is shown whatever the display mode
    EXPECT_EQ(test::exitCodeOf([&] { getTempDirectory(ctx); }), 1u);
    ASSERT_EQ(fake.console.boxes.size(), 1u);
    EXPECT_EQ(fake.console.boxes[0].first, kPowerUser);
    EXPECT_EQ(fake.console.boxes[0].second, "Error");
    EXPECT_FALSE(fake.fs.exists("c:\\tmp"));
}

// Decision: without a long form the path cannot be vouched for, so it must prove writable.
TEST(TempDirectoryNoLongForm, UsesTheTempPathOnlyWhenWritable) {
    test::FakePlatform fake;
    NoLongPathFileSystem fs;
    fs.addDirectory("C:\\Temp");
    fs.addDirectory("C:\\Windows\\temp");
    Platform custom{fs,        fake.registry, fake.env,       fake.processes, fake.services, fake.console,
                    fake.exit, fake.clock,    fake.codePages, fake.module,    fake.libraries};
    Process ctx(custom);
    Config config;
    EXPECT_EQ(getTempDirectory(ctx), "C:\\Temp\\");
    fs.failCreateDirectory.push_back("C:\\Temp\\\\kvr_w_testdir");
    EXPECT_EQ(getTempDirectory(ctx), "C:\\Windows\\temp");
}

TEST_F(TempDirectory, NoSystemTempPathFallsBack) {
    fake.fs.tempPathValue = "";  // GetTempPathA failed
    fake.fs.addDirectory("C:\\Windows\\temp");
    EXPECT_EQ(getTempDirectory(ctx), "C:\\Windows\\temp");
}

TEST_F(TempDirectory, WritableProbeReplacesALeftoverAndRemovesIt) {
    fake.fs.addDirectory("C:\\Data\\kvr_w_testdir");
    EXPECT_TRUE(isWritableDirectory(ctx, "C:\\Data"));
    EXPECT_FALSE(fake.fs.exists("C:\\Data\\kvr_w_testdir"));
    EXPECT_FALSE(isWritableDirectory(ctx, "C:\\Missing"));
}

TEST_F(TempDirectory, TempFileNameIsCreatedWithPrefixKvr) {
    const std::string name = createTempFileName(ctx);
    EXPECT_EQ(name, "C:\\Temp\\kvr1000.tmp");
    EXPECT_TRUE(fake.fs.exists(name));
    EXPECT_NE(createTempFileName(ctx), name);
}

TEST_F(TempDirectory, ProcessCommFileIsNamedButNotCreated) {
    EXPECT_EQ(getProcessCommFileName(ctx, 4711), "C:\\Temp\\kvr_p4711.tmp");
    EXPECT_FALSE(fake.fs.exists("C:\\Temp\\kvr_p4711.tmp"));
}

}  // namespace
}  // namespace kavrin
