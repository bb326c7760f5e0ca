#include <gtest/gtest.h>

#include "diagnostics/OutputLog.h"
#include "fakes/FakePlatform.h"

using namespace kavrin;
using kavrin::test::FakeFileSystem;

TEST(ByteSize, NumbersWithAnOptionalUnitFrom1KbTo2Gb) {
    // clang-format off
    const std::vector<std::pair<const char*, std::optional<uint64_t>>> cases = {
        {"10MB", 10u << 20}, {"10mb", 10u << 20}, {"512KB", 512u << 10}, {"2GB", 2ull << 30},
        {"1024", 1024},      {"1023", std::nullopt}, {"3GB", std::nullopt}, {"10 MB", std::nullopt},
        {"MB", std::nullopt}, {"10M", std::nullopt}, {"-1KB", std::nullopt}, {"", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    // clang-format on
    for (const auto& [text, bytes] : cases) EXPECT_EQ(parseByteSize(text), bytes) << text;
}

namespace {

const std::string kPath = "C:\\App\\logs\\svc.out.log";

std::string numberedLines(int from, int to) {
    std::string text;
    for (int i = from; i < to; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

}  // namespace

TEST(RotatingOutput, RotatesOnlyAtLineStartsAndKeepsTheNewestFilesInOrder) {
    FakeFileSystem fs;
    fs.addFile(kPath, "old line\n");  // appended to, not replaced
    RotatingOutput out(fs, kPath, 40, 2);
    const std::string input = numberedLines(0, 30);
    // Chunks cut lines anywhere, as pipe reads do.
    for (size_t at = 0, step = 1; at < input.size(); at += step, step = step % 13 + 3)
        out.write(std::string_view(input).substr(at, step));

    const std::string kept = fs.content(kPath + ".2") + fs.content(kPath + ".1") + fs.content(kPath);
    EXPECT_EQ(kept, input.substr(input.size() - kept.size()));  // the newest, in order
    for (const std::string& file : {kPath + ".2", kPath + ".1", kPath}) {
        const std::string content = fs.content(file);
        ASSERT_FALSE(content.empty()) << file;
        EXPECT_EQ(content.rfind("line ", 0), 0u) << file;  // starts a line
        if (file != kPath) {
            EXPECT_EQ(content.back(), '\n') << file;
        }
        EXPECT_LE(content.size(), 40u + std::string("line 29\n").size()) << file;
    }
    EXPECT_FALSE(fs.exists(kPath + ".3"));
    EXPECT_EQ(out.droppedBytes(), 0u);
}

TEST(RotatingOutput, DropsWhenTheFileCannotBeWrittenAndTriesAgainLater) {
    FakeFileSystem fs;  // C:\App\logs does not exist yet
    std::vector<std::string> reasons;
    RotatingOutput out(fs, kPath, 1 << 20, 1, [&](const std::string& reason) { reasons.push_back(reason); });
    const std::string line(1000, 'x');
    for (int i = 0; i < 10; ++i) out.write(line + "\n");
    EXPECT_EQ(out.droppedBytes(), 10010u);
    fs.addDirectory("C:\\App\\logs");
    while (out.droppedBytes() < RotatingOutput::kRetryAfterBytes) out.write(line + "\n");
    EXPECT_FALSE(fs.exists(kPath));  // not tried at every line
    out.write("after\n");
    EXPECT_EQ(fs.content(kPath), "after\n");
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_EQ(reasons[0], kPath + ": cannot open, error 3");

    FakeFileSystem full;
    full.addDirectory("C:\\App\\logs");
    full.freeBytes = 5;
    RotatingOutput onFullDisk(full, kPath, 1 << 20, 1);
    onFullDisk.write("0123456789\nmore\n");
    EXPECT_EQ(full.content(kPath), "01234");
    EXPECT_EQ(onFullDisk.droppedBytes(), 11u);
}
