#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "config/ConfigBlock.h"
#include "config/ExePath.h"
#include "config/Keys.h"
#include "fakes/LauncherWorld.h"
#include "fakes/PeImage.h"
#include "files/Extraction.h"

namespace kavrin {
namespace {

constexpr uint32_t kStreamStart = 100;  // where the block would end in a real image
// The fake generator's first four bytes are 01 02 03 04: hex 0x0201, number 0x0403.
constexpr const char* kFirstDir = "C:\\Temp\\kvr201.tmp_dir1027";
constexpr const char* kQueue = "SOFTWARE\\dalvenco\\kavrin\\temp";

// One record as the builder writes it, spelled out here so the test does not share its code.
std::string record(const std::string& content) {
    std::string out;
    const uint64_t length = content.size();
    for (int i = 0; i < 8; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
    for (char c : content) out += static_cast<char>(static_cast<unsigned char>(c) ^ 0xA7);
    return out;
}

std::string pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return s;
}

// The carried stream behind a stand-in for the image and the block, with its count and names.
void installIncluded(test::LauncherWorld& world, int count, const std::string& names, const std::string& stream) {
    world.set(key::kIncludedCount, std::to_string(count));
    world.set(key::kIncludedNames, names);
    world.fake.installExecutable(std::string(kStreamStart, 'M') + stream);
}

class Extraction : public ::testing::Test, protected test::LauncherWorld {
protected:
    void SetUp() override {
        fake.env.put("KAVRIN_LOG", "yes");
        ctx.fatal.useMessageBox = false;
        config = Config({}, kStreamStart).with(key::kMsgInternalError, "An internal error occurred (error code: {0})");
    }
    void install(int count, const std::string& names, const std::string& stream) {
        installIncluded(*this, count, names, stream);
    }
    ExtractionResult last;  // of the latest extract()
    int extract() {
        last = extractIncludedFiles(ctx, config);
        return last.status;
    }
    std::string dir() const { return last.extraction.directory; }
    std::string file(const std::string& name) { return fake.fs.content(dir() + "\\" + name); }
    std::optional<uint32_t> expectExit() {
        return test::exitCodeOf([&] { extract(); });
    }
    std::string queuedDirectories() {
        return fake.registry.value(RegRoot::CurrentUser, kQueue, "delete_dir").value_or(RegValue{}).data;
    }
};

TEST_F(Extraction, NoIncludedFilesCreatesNothing) {
    install(0, "a.bin", record("a"));
    EXPECT_EQ(extract(), 0);
    EXPECT_EQ(dir(), "");
    EXPECT_EQ(last.extraction.unextractedPosition, 0);
    EXPECT_TRUE(fake.fs.children("C:\\Temp").empty());
    EXPECT_EQ(queuedDirectories(), "");
    EXPECT_NE(fake.logText().find("\nextracting files\nIncluded files: 0\n"), std::string::npos);
}

TEST_F(Extraction, WritesFilesIntoANewDirectoryAndKeepsThemOpen) {
    const std::string binary("\x00\xA7\x00\xFF\xA7", 5);
    install(3, "a.bin;;empty.bin;b.bin", record("hello") + record("") + record(binary));

    ASSERT_EQ(extract(), 0);

    // Both parts of the name come from the cryptographic generator; only this account,
    // SYSTEM and Administrators may use the directory.
    EXPECT_EQ(dir(), kFirstDir);
    EXPECT_FALSE(fake.clock.seed);
    ASSERT_TRUE(fake.fs.isDirectory(dir()));
    EXPECT_TRUE(fake.fs.node(dir())->privateAcl);
    EXPECT_EQ(fake.fs.children(dir()), (std::vector<std::string>{"a.bin", "b.bin"}));  // no file for length 0
    EXPECT_EQ(last.extraction.files, (std::vector<std::string>{"a.bin", "b.bin"}));  // what the class path takes
    EXPECT_EQ(file("a.bin"), "hello");
    EXPECT_EQ(file("b.bin"), binary);
    EXPECT_EQ(last.extraction.unextractedPosition, static_cast<int32_t>(kStreamStart + 8 + 5 + 8 + 8 + 5));
    // Queued at once (a crash leaves nothing behind), not at exit.
    EXPECT_EQ(queuedDirectories(), dir() + ";");
    EXPECT_TRUE(ctx.cleanupList.empty());
    EXPECT_EQ(ctx.heldDirectories, std::vector<std::string>{dir()});  // a queue run of this process leaves it

    // Others may read an extracted file but not change or delete it, nor remove the
    // directory, while the launcher lives.
    EXPECT_EQ(fake.fs.keptOpen, 3);
    EXPECT_NE(
        fake.fs.openFile(dir() + "\\a.bin", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting),
        nullptr);
    EXPECT_EQ(
        fake.fs.openFile(dir() + "\\a.bin", FileAccess::Write, FileShare::ReadWrite, FileDisposition::OpenExisting),
        nullptr);
    EXPECT_FALSE(fake.fs.deleteFile(dir() + "\\a.bin"));
    EXPECT_FALSE(fake.fs.removeDirectory(dir()));

    const std::string log = fake.logText();
    EXPECT_NE(log.find("\nextracting files\nIncluded files: 3\nTemp dir: " + dir() + "\n" + "extracting " + dir() +
                       "\\a.bin (size: 5)\n" + "extracting " + dir() + "\\empty.bin (size: 0)\n" + "extracting " +
                       dir() + "\\b.bin (size: 5)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("extracting files done\n"), std::string::npos);
}

// A later start with reuse on takes the directory an earlier start left only when it holds
// exactly the carried bytes and nothing else, is private, still queued and not in use.
TEST(ExtractionReuse, ALaterStartTakesAnUnchangedEarlierDirectoryAndNothingElse) {
    const std::string big = pattern(20000);  // compared over several chunks
    using Change = std::function<void(test::FakePlatform&, const std::string& dir)>;
    const struct {
        const char* change;
        Change apply;
        bool reuseKey = true;
        bool taken = false;
    } rows[] = {
        {"nothing", [](auto&, auto&) {}, true, true},
        {"nothing, key absent", [](auto&, auto&) {}, false},
        {"last byte differs", [](auto& f, auto& d) { f.fs.node(d + "\\b.bin")->content.back() ^= 1; }},
        {"file shorter", [](auto& f, auto& d) { f.fs.node(d + "\\a.bin")->content = "hell"; }},
        {"file missing", [](auto& f, auto& d) { f.fs.deleteFile(d + "\\a.bin"); }},
        {"file added", [](auto& f, auto& d) { f.fs.addFile(d + "\\x.dll", "MZ"); }},
        {"empty one present", [](auto& f, auto& d) { f.fs.addFile(d + "\\empty.bin", ""); }},
        {"not private", [](auto& f, auto& d) { f.fs.node(d)->privateAcl = false; }},
        {"no longer queued", [](auto& f, auto&) { f.registry.keys.clear(); }},
        {"held by a running process",
         [](auto& f, auto& d) { f.fs.holdOpen(d, FileAccess::Read, FileShare::ReadWrite); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change);
        test::LauncherWorld world;
        world.config = Config({}, kStreamStart);
        if (row.reuseKey) world.set(key::kReuseExtraction, "1");
        installIncluded(world, 3, "a.bin;empty.bin;b.bin", record("hello") + record("") + record(big));
        const ExtractionResult first = extractIncludedFiles(world.ctx, world.config);
        ASSERT_EQ(first.status, 0);
        const std::string earlier = first.extraction.directory;
        world.fake.fs.endProcess();
        row.apply(world.fake, earlier);

        Process later(world.fake.platform);
        const ExtractionResult second = extractIncludedFiles(later, world.config);
        ASSERT_EQ(second.status, 0);
        EXPECT_EQ(second.extraction.directory == earlier, row.taken);
        EXPECT_EQ(second.extraction.files, first.extraction.files);
        EXPECT_EQ(second.extraction.unextractedPosition, first.extraction.unextractedPosition);
        EXPECT_EQ(later.heldDirectories, std::vector<std::string>{second.extraction.directory});
        EXPECT_EQ(world.fake.fs.keptOpen, 3);  // two files and the directory, taken or written
        EXPECT_EQ(world.fake.fs.content(second.extraction.directory + "\\b.bin"), big);
        if (row.taken) {  // queued once, by the start that made it
            EXPECT_EQ(world.fake.registry.value(RegRoot::CurrentUser, kQueue, "delete_dir")->data, earlier + ";");
        }
    }
}

TEST_F(Extraction, ReadsOnFromTheExecutableTheConfigurationReadLeftOpen) {
    ConfigBlock block;
    block.narrow = {{key::kIncludedCount, "1"}, {key::kIncludedNames, "a.bin"}};
    fake.installExecutable(test::makePeImage() + encodeConfigBlock(block) + record("hello"));
    config = readConfig(ctx);
    ASSERT_EQ(extract(), 0);
    EXPECT_EQ(file("a.bin"), "hello");
    EXPECT_EQ(std::count(fake.fs.openLog.begin(), fake.fs.openLog.end(), getExecutablePath(ctx)), 1);
    EXPECT_FALSE(ctx.ownExecutable);  // closed once the files are out
}

TEST_F(Extraction, CountAndNamesTheSmallerOneWins) {
    install(2, "a;b;c", record("1") + record("22") + record("333"));
    ASSERT_EQ(extract(), 0);
    EXPECT_EQ(fake.fs.children(dir()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(last.extraction.unextractedPosition, static_cast<int32_t>(kStreamStart + 9 + 10));

    test::FakePlatform other;
    Process ctx2(other.platform);
    const Config config2 = Config({}, kStreamStart).with(key::kIncludedCount, "3").with(key::kIncludedNames, "only");
    other.installExecutable(std::string(kStreamStart, 'M') + record("1"));
    const ExtractionResult second = extractIncludedFiles(ctx2, config2);
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(other.fs.content(second.extraction.directory + "\\only"), "1");
}

TEST_F(Extraction, TruncatedContentFailsWithResult1AndEmptiesTheDirectory) {
    const std::string stream = record("kept") + record(pattern(8193));
    install(2, "kept.bin;cut.bin", stream.substr(0, stream.size() - 100));

    EXPECT_EQ(extract(), 1);

    const std::string log = fake.logText();
    EXPECT_NE(log.find("\nERROR: ReadFile failed 0 38 8093\nERROR: Failed to extract " + dir() + "\\cut.bin\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("extracting files done"), std::string::npos);
    // The partial file is deleted; the kept one is held open, so it and the directory stay.
    EXPECT_EQ(fake.fs.children(dir()), std::vector<std::string>{"kept.bin"});
    EXPECT_EQ(queuedDirectories(), dir() + ";");  // what is left goes with the next start
}

TEST_F(Extraction, FailureWithNothingKeptRemovesTheDirectory) {
    install(1, "a.bin", record("abcdef").substr(0, 10));
    EXPECT_EQ(extract(), 1);
    EXPECT_FALSE(fake.fs.exists(dir()));
    EXPECT_EQ(queuedDirectories(), "");
}

TEST_F(Extraction, AFileThatIsAlreadyThereIsNeverOverwritten) {
    // A second file of the same name finds the first: extraction fails (internal error
    // 16 in the launcher) rather than writing into a file it did not create.
    install(2, "a.bin;a.bin", record("first") + record("second"));
    EXPECT_EQ(extract(), 2);
    EXPECT_EQ(file("a.bin"), "first");
    EXPECT_NE(fake.logText().find("ERROR: " + dir() + "\\a.bin exists already\nERROR: Failed to extract " + dir() +
                                  "\\a.bin\n"),
              std::string::npos)
        << fake.logText();
}

TEST_F(Extraction, NameCollisionsDrawAgainAndGiveUpWithInternalError7) {
    fake.env.remove("KAVRIN_LOG");
    install(1, "a.bin", record("a"));
    fake.fs.addDirectory(kFirstDir);  // taken: the next four bytes name it
    ASSERT_EQ(extract(), 0);
    EXPECT_EQ(dir(), "C:\\Temp\\kvr605.tmp_dir2055");

    // Always the same draw (zero bytes give hex 1), always taken: sixteen tries, then 7.
    fake.clock.secureBytes.assign(64, 0);
    fake.fs.addDirectory("C:\\Temp\\kvr1.tmp_dir0");
    EXPECT_EQ(expectExit(), 1u);
    EXPECT_EQ(fake.clock.secureBytes.size(), 0u);
    EXPECT_EQ(fake.console.stderrText.find("An internal error occurred (error code: 7)"), 0u);
}

TEST_F(Extraction, ShortLengthFieldEndsTheProcess) {
    install(1, "a.bin", std::string("\x05\x00\x00", 3));
    EXPECT_EQ(expectExit(), 1u);
}

TEST_F(Extraction, DirectoryThatCannotBeCreatedIsInternalError7) {
    fake.env.remove("KAVRIN_LOG");
    install(1, "a.bin", record("a"));
    fake.fs.failCreateDirectory.push_back(kFirstDir);
    EXPECT_EQ(expectExit(), 1u);
    EXPECT_EQ(fake.console.stderrText.find("An internal error occurred (error code: 7)"), 0u)
        << fake.console.stderrText;
    fake.console.stderrText.clear();
    fake.clock.failSecureRandom = true;  // no name without the generator
    EXPECT_EQ(expectExit(), 1u);
    EXPECT_EQ(fake.console.stderrText.find("An internal error occurred (error code: 7)"), 0u);
}

TEST_F(Extraction, TargetThatCannotBeCreatedIsInternalError11) {
    fake.env.remove("KAVRIN_LOG");
    install(1, "a.bin", record("a"));
    fake.fs.failOpenForWrite.push_back(std::string(kFirstDir) + "\\a.bin");
    EXPECT_EQ(expectExit(), 1u);
    EXPECT_EQ(fake.console.stderrText.find("An internal error occurred (error code: 11)"), 0u);
}

TEST_F(Extraction, NamesThatWouldLeaveTheDirectoryAreRefusedWithInternalError11) {
    for (const char* name : {"..\\evil.bin", "sub\\a.bin", "sub/a.bin", "c:evil.bin", "C:\\evil.bin", "..", ".", "NUL",
                             "con.txt", "COM1", "lpt9.log", "aux .x", "a.bin.", "a.bin ", "a?b", "a|b"}) {
        EXPECT_FALSE(isSafeIncludedFileName(name)) << name;
    }
    for (const char* name : {"a.bin", "..a", "a..b", "console.txt", "COM10", "nul_x", ".hidden"}) {
        EXPECT_TRUE(isSafeIncludedFileName(name)) << name;
    }

    install(2, "ok.bin;..\\evil.bin", record("a") + record("b"));
    EXPECT_EQ(expectExit(), 1u);
    EXPECT_EQ(fake.console.stderrText.find("An internal error occurred (error code: 11)"), 0u);
    EXPECT_NE(fake.logText().find("ERROR: Refusing included file name ..\\evil.bin\n"), std::string::npos);
    EXPECT_FALSE(fake.fs.exists("C:\\evil.bin"));
    EXPECT_EQ(dir(), "");  // refused before anything was written
    for (const std::string& name : fake.fs.children("C:\\Temp")) EXPECT_EQ(name.find("kvr"), std::string::npos);
}

TEST_F(Extraction, UnsafeNameBeyondTheCountIsNeverUsed) {
    install(1, "ok.bin;..\\evil.bin", record("a"));
    EXPECT_EQ(extract(), 0);
}

// A File that records the size of every read and write, with limits per call.
class ScriptedFile : public File {
public:
    std::string data;
    size_t pos = 0;
    size_t maxPerCall = SIZE_MAX;
    std::optional<size_t> failWriteAfter;
    std::vector<size_t> calls;
    bool seek(uint32_t offset) override {
        pos = offset;
        return true;
    }
    uint32_t position() override { return static_cast<uint32_t>(pos); }
    IoResult read(void* buffer, size_t count) override {
        calls.push_back(count);
        const size_t got = std::min({count, maxPerCall, data.size() - pos});
        std::memcpy(buffer, data.data() + pos, got);
        pos += got;
        return {true, got, 0};
    }
    IoResult write(const void* buffer, size_t count) override {
        calls.push_back(count);
        if (failWriteAfter && data.size() >= *failWriteAfter) return {false, 0, 112};
        const size_t put = std::min(count, maxPerCall);
        data.append(static_cast<const char*>(buffer), put);
        return {true, put, 0};
    }
};

TEST_F(Extraction, CopiesInChunksOf8192) {
    for (size_t size : {size_t{8192}, size_t{8193}}) {
        ScriptedFile source, target;
        source.data = record(pattern(size)).substr(8);
        EXPECT_EQ(copyIncludedData(ctx, source, target, static_cast<int64_t>(size)), 0);
        EXPECT_EQ(target.data, pattern(size));
        const std::vector<size_t> expected = size == 8192 ? std::vector<size_t>{8192} : std::vector<size_t>{8192, 1};
        EXPECT_EQ(source.calls, expected) << size;
        EXPECT_EQ(target.calls, expected) << size;
    }
}

TEST_F(Extraction, XorRestoresBothWays) {
    // 19 bytes: two whole words and a tail, 0x00 and 0xA7 in each part.
    const std::string stored(
        "\x00\xA7\xFF\x58\x00\x00\xA7\xA7"
        "\xA7\x01\x00\x80\xA6\xA8\x00\x7F"
        "\x00\xA7\x27",
        19);
    const std::string restored(
        "\xA7\x00\x58\xFF\xA7\xA7\x00\x00"
        "\x00\xA6\xA7\x27\x01\x0F\xA7\xD8"
        "\xA7\x00\x80",
        19);
    ScriptedFile source, target;
    source.data = stored;
    EXPECT_EQ(copyIncludedData(ctx, source, target, 19), 0);
    EXPECT_EQ(target.data, restored);
}

TEST_F(Extraction, ShortReadsAndPartialWritesAreContinued) {
    ScriptedFile source, target;
    source.data = record(pattern(20000)).substr(8);
    source.maxPerCall = 5000;
    target.maxPerCall = 3000;
    EXPECT_EQ(copyIncludedData(ctx, source, target, 20000), 0);
    EXPECT_EQ(target.data, pattern(20000));
    EXPECT_EQ(source.calls, (std::vector<size_t>{8192, 8192, 8192, 5000}));  // never more than still missing
}

TEST_F(Extraction, WriteFailureIsResult2WithTheUnwrittenCount) {
    ScriptedFile source, target;
    source.data = std::string(10000, 'x');
    target.maxPerCall = 3000;
    target.failWriteAfter = 6000;  // the third write of the first chunk fails
    EXPECT_EQ(copyIncludedData(ctx, source, target, 10000), 2);
    EXPECT_NE(fake.logText().find("\nERROR: WriteFile failed 2192 112\n"), std::string::npos) << fake.logText();
}

}  // namespace
}  // namespace kavrin
