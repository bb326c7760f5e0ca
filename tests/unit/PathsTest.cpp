#include <gtest/gtest.h>

#include "fakes/LauncherWorld.h"
#include "files/Paths.h"

using namespace kavrin;
using kavrin::test::FakePlatform;

namespace {
struct ServerWorld : test::LauncherWorld {
    ServerWorld() { placeModule(test::kServerExe, false); }
};
}  // namespace

TEST(IsRelativePath, Table) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", true},          {"a", true},        {"ab", true},    {"c:\\", false},
        {"\\\\s", false},    {"\\dir", true},    {"c:dir", true}, {"c:/dir", true},
        {"dir\\file", true}, {"\"c:\\x", false}, {"\"ab", true},  {"\"\\\\srv", false},
    };
    for (const auto& [path, relative] : cases) EXPECT_EQ(isRelativePath(path), relative) << path;
}

TEST(ResolvePath, PrefixesTheExecutableDirectoryComputedOnce) {
    ServerWorld w;
    auto& [fake, ctx, config] = w;
    EXPECT_EQ(resolvePath(ctx, "lib\\a.jar"), "C:\\Apps\\Server\\lib\\a.jar");
    EXPECT_EQ(resolvePath(ctx, "..\\jre"), "C:\\Apps\\Server\\..\\jre");  // not normalised
    EXPECT_EQ(resolvePath(ctx, "D:\\\\x\\\\y"), "D:\\x\\y");
    EXPECT_EQ(resolvePath(ctx, ""), "C:\\Apps\\Server\\");
    fake.fs.currentDirectory = "D:\\Elsewhere";
    EXPECT_EQ(resolvePath(ctx, "\\lib"), "C:\\Apps\\Server\\lib");  // "\\" after the directory collapses
}

TEST(MakeFullPath, NormalisesAndLowerCasesUnlessKeepCase) {
    ServerWorld w;
    auto& [fake, ctx, config] = w;
    EXPECT_EQ(makeFullPath(ctx, "..\\JRE", PathCase::Lower), "c:\\apps\\jre");
    EXPECT_EQ(makeFullPath(ctx, "..\\JRE", PathCase::Keep), "C:\\Apps\\JRE");
    EXPECT_EQ(makeFullPath(ctx, ".", PathCase::Keep), "C:\\Apps\\Server");
}

TEST(ResolvePathList, SkipsEmptyEntries) {
    ServerWorld w;
    auto& [fake, ctx, config] = w;
    EXPECT_EQ(resolvePathList(ctx, ";a;;b;"), "C:\\Apps\\Server\\a;C:\\Apps\\Server\\b");
    EXPECT_EQ(resolvePathList(ctx, ""), "");
    EXPECT_EQ(resolvePathList(ctx, ";;"), "");
}

TEST(FileExists, DriveRootsNeedNoSearchOtherPathsDo) {
    FakePlatform fake;
    Process ctx(fake.platform);
    for (const char* root : {"x:\\", "Q:\\.", "z:\\.\\."}) EXPECT_TRUE(fileExists(ctx, root)) << root;
    EXPECT_FALSE(fileExists(ctx, "x:"));
    fake.fs.addFile("C:\\App\\lib\\a.jar", "jar");
    EXPECT_TRUE(fileExists(ctx, "C:\\App\\lib"));
    EXPECT_FALSE(fileExists(ctx, "C:\\App\\lib\\"));
    EXPECT_TRUE(fileExists(ctx, "C:\\App\\lib\\*.jar"));
    EXPECT_FALSE(fileExists(ctx, "C:\\App\\lib\\*.zip"));
    ctx.heldDirectories.push_back("C:\\Temp\\kvr1.tmp_dir1");  // not in the file system: only the holding says so
    EXPECT_TRUE(fileExists(ctx, "c:\\temp\\KVR1.tmp_dir1"));
}

TEST(GetLastWriteTime, ReportsTheFirstMatchesTime) {
    FakePlatform fake;
    Process ctx(fake.platform);
    fake.fs.addFile("C:\\jre\\bin\\java.exe", "", FileTime{0x0123456789ABCDEFull});
    FileTime t;
    ASSERT_TRUE(getLastWriteTime(ctx, "C:\\jre\\bin\\java.exe", &t));
    EXPECT_EQ(t.value, 0x0123456789ABCDEFull);
    EXPECT_FALSE(getLastWriteTime(ctx, "C:\\jre\\bin\\javaw.exe", &t));
}

TEST(NamesOneEntry, OnlyPathsASearchCannotReadAsAPattern) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"C:\\jre\\bin\\java.exe", true},
        {"lib", true},
        {"c:name", true},
        {"\\\\srv\\share\\f", true},
        {"C:\\lib\\*.jar", false},
        {"a?.jar", false},
        {"a<b", false},
        {"C:\\lib\\", false},
        {"C:/lib/", false},
        {"C:\\dir\\.", false},
        {"C:\\dir\\..", false},
        {"C:\\dir\\name.", false},
        {"C:\\dir\\name ", false},
        {"C:\\f.txt:s", false},
        {"C:", false},
        {"", false},
        {"\\\\?\\C:\\x", false},
        {"C:\\a\\c:x", false},
    };
    for (const auto& [path, plain] : cases) EXPECT_EQ(namesOneEntry(path), plain) << path;
}
