// The file system calls against Wine's real one.
#include <algorithm>
#include <map>
#include <vector>

#include "Win32TestSupport.h"
#include "platform/Types.h"

namespace kavrin::test {
namespace {

using FilesTest = Win32Test;

std::vector<std::string> names(const std::vector<FindEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(FilesTest, ReadsWritesAndSeeksAbsolutely) {
    std::string path = writeFile("data.bin", std::string("0123456789", 10));
    auto file = os.fs.openFile(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->seek(6));
    EXPECT_EQ(file->position(), 6u);
    char buffer[8] = {};
    IoResult r = file->read(buffer, sizeof buffer);
    // A read past the end succeeds with what there was.
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 4u);
    EXPECT_EQ(std::string(buffer, r.bytes), "6789");
    EXPECT_EQ(file->position(), 10u);
    r = file->read(buffer, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 0u);
}

TEST_F(FilesTest, OpeningAMissingFileReportsFileNotFound) {
    EXPECT_FALSE(
        os.fs.openFile(scratch + "missing.bin", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting));
    EXPECT_EQ(os.fs.lastError(), win32err::kFileNotFound);
    EXPECT_FALSE(os.fs.openFile(scratch + "no-dir\\x.bin", FileAccess::Read, FileShare::ReadWrite,
                                FileDisposition::OpenExisting));
    EXPECT_EQ(os.fs.lastError(), win32err::kPathNotFound);
}

TEST_F(FilesTest, AHandleWithoutDeleteSharingPreventsDeletion) {
    std::string path = writeFile("held.bin", "x");
    {
        auto held = os.fs.openFile(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
        ASSERT_TRUE(held);
        EXPECT_FALSE(os.fs.deleteFile(path));
        EXPECT_EQ(os.fs.lastError(), win32err::kSharingViolation);
    }
    // The handle closed with its owner.
    EXPECT_TRUE(os.fs.deleteFile(path));
    EXPECT_FALSE(os.fs.findFirst(path));
}

TEST_F(FilesTest, AnExclusiveHandleRefusesASecondOpen) {
    std::string path = writeFile("exclusive.bin", "x");
    auto held = os.fs.openFile(path, FileAccess::Read, FileShare::None, FileDisposition::OpenExisting);
    ASSERT_TRUE(held);
    EXPECT_FALSE(os.fs.openFile(path, FileAccess::Read, FileShare::All, FileDisposition::OpenExisting));
    EXPECT_EQ(os.fs.lastError(), win32err::kSharingViolation);
}

TEST_F(FilesTest, OpenAndKeepHoldsTheFileForTheRestOfTheProcess) {
    std::string path = writeFile("kept.bin", "x");
    ASSERT_TRUE(os.fs.openAndKeep(path, FileAccess::Read, FileShare::ReadWrite));
    EXPECT_FALSE(os.fs.deleteFile(path));
    EXPECT_EQ(os.fs.lastError(), win32err::kSharingViolation);
    EXPECT_FALSE(os.fs.openAndKeep(scratch + "absent.bin", FileAccess::Read, FileShare::ReadWrite));
}

TEST_F(FilesTest, FindListsMatchesWithKindAndWriteTime) {
    writeFile("a.txt", "a");
    writeFile("b.txt", "b");
    writeFile("c.log", "c");
    ASSERT_TRUE(os.fs.createDirectory(scratch + "sub"));

    EXPECT_EQ(names(os.fs.find(scratch + "*.txt")), (std::vector<std::string>{"a.txt", "b.txt"}));
    auto all = os.fs.find(scratch + "*");
    EXPECT_EQ(names(all), (std::vector<std::string>{".", "..", "a.txt", "b.txt", "c.log", "sub"}));
    std::map<std::string, uint64_t> sizes;
    for (const auto& e : all) {
        EXPECT_EQ(e.isDirectory, e.name == "." || e.name == ".." || e.name == "sub") << e.name;
        if (!e.isDirectory) sizes[e.name] = e.size;
    }
    EXPECT_EQ(sizes, (std::map<std::string, uint64_t>{{"a.txt", 1}, {"b.txt", 1}, {"c.log", 1}}));
    EXPECT_TRUE(os.fs.find(scratch + "*.none").empty());

    // A directory without trailing backslash is found; with one it is not.
    EXPECT_TRUE(os.fs.findFirst(scratch + "sub"));
    EXPECT_FALSE(os.fs.findFirst(scratch + "sub\\"));

    // The write time is now, in 100 ns units since 1601.
    auto first = os.fs.findFirst(scratch + "a.txt");
    ASSERT_TRUE(first);
    const uint64_t now = (static_cast<uint64_t>(os.clock.timeSeconds()) + 11644473600ull) * 10000000ull;
    const uint64_t hour = 3600ull * 10000000ull;
    EXPECT_LT(first->lastWrite.value, now + hour);
    EXPECT_GT(first->lastWrite.value, now - hour);

    // The direct look-up of a plain path answers as the search does.
    for (const char* name : {"a.txt", "sub", "missing.txt", "nodir\\a.txt"}) {
        const auto found = os.fs.findFirst(scratch + name);
        const auto direct = os.fs.lastWriteTime(scratch + name);
        ASSERT_EQ(direct.has_value(), found.has_value()) << name;
        if (found) {
            EXPECT_EQ(direct->value, found->lastWrite.value) << name;
        }
    }
}

TEST_F(FilesTest, FullPathNameNormalisesAndSplitsOffTheFilePart) {
    ASSERT_TRUE(os.fs.setCurrentDirectory(scratch));
    auto full = os.fs.fullPathName("x\\..\\.\\y.txt");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->path, scratch + "y.txt");
    EXPECT_EQ(full->path.substr(full->filePart), "y.txt");

    auto dir = os.fs.fullPathName("c:\\a\\b\\");
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->path, "c:\\a\\b\\");
    EXPECT_EQ(dir->filePart, dir->path.size());

    // Longer than MAX_PATH: the ANSI call may refuse it, but never truncates it.
    std::string deep = "c:\\" + std::string(300, 'd') + "\\f.txt";
    if (auto long_ = os.fs.fullPathName(deep)) {
        EXPECT_EQ(long_->path, deep);
    }
    ASSERT_TRUE(os.fs.setCurrentDirectory(os.fs.tempPath()));
}

TEST_F(FilesTest, ShortAndLongNamesRoundTrip) {
    std::string longName = writeFile("A Long File Name With Spaces.text", "x");
    auto shortName = os.fs.shortPathName(longName);
    ASSERT_TRUE(shortName);
    std::string shortFile = shortName->substr(shortName->find_last_of('\\') + 1);
    EXPECT_NE(shortFile, "A Long File Name With Spaces.text");
    EXPECT_NE(shortFile.find('~'), std::string::npos) << shortFile;
    EXPECT_LE(shortFile.size(), 12u) << shortFile;

    auto back = os.fs.longPathName(*shortName);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->substr(back->find_last_of('\\') + 1), "A Long File Name With Spaces.text");
    // A path without short components comes back as given (the scratch directory has none under Wine).
    if (longName.find('~') == std::string::npos) {
        EXPECT_EQ(os.fs.longPathName(longName), longName);
    }

    EXPECT_FALSE(os.fs.shortPathName(scratch + "absent file name.text"));
    EXPECT_FALSE(os.fs.longPathName(scratch + "absent file name.text"));
}

TEST_F(FilesTest, TempFileNameCreatesTheFileItNames) {
    auto name = os.fs.tempFileName(scratch.substr(0, scratch.size() - 1), "kvr");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->rfind(scratch + "kvr", 0), 0u) << *name;
    EXPECT_EQ(name->substr(name->size() - 4), ".tmp");
    auto found = os.fs.findFirst(*name);
    ASSERT_TRUE(found);
    EXPECT_FALSE(found->isDirectory);
    EXPECT_FALSE(os.fs.tempFileName(scratch + "absent-dir", "kvr"));
}

TEST_F(FilesTest, UniqueTempNameUsesTmpWhenItIsADirectory) {
    const auto savedTmp = os.env.get("TMP");
    std::string tmpDir = scratch + "tmpdir";
    ASSERT_TRUE(os.fs.createDirectory(tmpDir));
    std::string fallback = scratch + "fallback";
    ASSERT_TRUE(os.fs.createDirectory(fallback));

    ASSERT_TRUE(os.env.set("TMP", tmpDir));
    auto inTmp = os.fs.uniqueTempName(fallback, "mvx_nlog_");
    ASSERT_TRUE(inTmp);
    // The whole prefix, in TMP, and not there yet.
    EXPECT_EQ(inTmp->rfind(tmpDir + "\\mvx_nlog_", 0), 0u) << *inTmp;
    EXPECT_FALSE(os.fs.findFirst(*inTmp));

    // A name that exists is never handed out again.
    writeFile("tmpdir\\" + inTmp->substr(tmpDir.size() + 1), "taken");
    auto next = os.fs.uniqueTempName(fallback, "mvx_nlog_");
    ASSERT_TRUE(next);
    EXPECT_NE(*next, *inTmp);

    // TMP naming no directory (a file, or nothing): the given directory.
    ASSERT_TRUE(os.env.set("TMP", *inTmp));
    auto inFallback = os.fs.uniqueTempName(fallback, "mvx_nlog_");
    ASSERT_TRUE(inFallback);
    EXPECT_EQ(inFallback->rfind(fallback + "\\mvx_nlog_", 0), 0u) << *inFallback;
    ASSERT_TRUE(os.env.set("TMP", scratch + "absent"));
    EXPECT_EQ(os.fs.uniqueTempName(fallback + "\\", "p")->rfind(fallback + "\\p", 0), 0u);

    if (savedTmp) os.env.set("TMP", *savedTmp);
}

TEST_F(FilesTest, CreateTextWritesCarriageReturnLineFeeds) {
    std::string path = scratch + "log.txt";
    {
        auto text = os.fs.createText(path);
        ASSERT_TRUE(text);
        text->write("first\nsecond\n");
        text->flush();
        // Flushed text is on disk while the stream stays open.
        EXPECT_EQ(readFile(path), "first\r\nsecond\r\n");
    }
    // Never an existing file: someone else may have placed it (or a link) there.
    EXPECT_FALSE(os.fs.createText(path));
    EXPECT_EQ(os.fs.lastError(), win32err::kFileExists);
    EXPECT_EQ(readFile(path), "first\r\nsecond\r\n");
    EXPECT_FALSE(os.fs.createText(scratch + "absent-dir\\log.txt"));
}

TEST_F(FilesTest, DirectoriesAreCreatedAndRemoved) {
    std::string dir = scratch + "made";
    EXPECT_TRUE(os.fs.createDirectory(dir));
    EXPECT_FALSE(os.fs.createDirectory(dir));
    writeFile("made\\f", "x");
    EXPECT_FALSE(os.fs.removeDirectory(dir));  // not empty
    EXPECT_TRUE(os.fs.deleteFile(dir + "\\f"));
    EXPECT_TRUE(os.fs.removeDirectory(dir));
    EXPECT_FALSE(os.fs.findFirst(dir));
}

TEST_F(FilesTest, SystemDirectoriesAreAbsolute) {
    std::string temp = os.fs.tempPath();
    ASSERT_GE(temp.size(), 3u);
    EXPECT_EQ(temp.substr(1, 2), ":\\");
    EXPECT_EQ(temp.back(), '\\');
    std::string windows = os.fs.windowsDirectory();
    EXPECT_EQ(windows.substr(1), ":\\windows") << windows;
}

}  // namespace
}  // namespace kavrin::test
