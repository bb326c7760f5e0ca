#include <gtest/gtest.h>

#include "config/Config.h"
#include "config/ConfigBlock.h"
#include "config/Keys.h"
#include "fakes/FakePlatform.h"
#include "fakes/PeImage.h"

using namespace kavrin;
using kavrin::test::FakePlatform;
using kavrin::test::ProcessExit;

namespace {

std::string imageWith(const ConfigBlock& block, const std::string& trailer = "") {
    return test::makePeImage() + encodeConfigBlock(block) + trailer;
}

// Runs readConfig and returns the exit code it ended with, or -1 when it returned.
// Reads the block as start-up does (error reporting follows it); -1 when it returned.
int readConfigExit(Process& ctx, Config& config) {
    try {
        config = readConfig(ctx);
        configureErrorReporting(ctx, config);
        return -1;
    } catch (const ProcessExit& e) {
        return static_cast<int>(e.code);
    }
}

std::string errorShown(FakePlatform& fake) {
    if (!fake.console.boxes.empty()) return fake.console.boxes.back().first;
    return fake.console.stderrText;
}

}  // namespace

TEST(ConfigBlockFormat, RoundTripsNarrowAndWideEntriesInOrder) {
    ConfigBlock block;
    block.narrow = {{101, "svc"}, {-5, ""}, {101, "later"}, {128, std::string("B..\\jre;\xE9", 10)}};
    block.wide = {{20017, u"Beschreibung \u00fc\u4e2d"}};
    const std::string image = imageWith(block, "trailing bytes");
    const uint32_t offset = blockOffsetFromPe(image);
    const DecodedBlock decoded = decodeConfigBlock(image, offset);
    EXPECT_EQ(decoded.block.narrow, block.narrow);
    EXPECT_EQ(decoded.block.wide, block.wide);
    EXPECT_EQ(decoded.endOffset, image.size() - std::string("trailing bytes").size());
}

TEST(ConfigBlockFormat, MagicIsLittleEndianD513E4E8) {
    const std::string bytes = encodeConfigBlock({});
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xD5\x13\xE4\xE8", 4));
}

TEST(ConfigBlockFormat, BlockFollowsTheLastSectionHeaderEvenWhenItIsNotLastInTheFile) {
    test::PeOptions options;
    options.sections = {{0x600, 0x200}, {0x200, 0x200}};  // the last header describes an earlier section
    std::string image = test::makePeImage(options);
    const std::string block = encodeConfigBlock({{{101, "x"}}, {}});
    image.replace(0x400, block.size(), block);  // right after the last header's raw data
    EXPECT_EQ(blockOffsetFromPe(image), 0x400u);
    EXPECT_EQ(decodeConfigBlock(image, 0x400).block.narrow.at(0).second, "x");
}

TEST(ConfigBlockFormat, WriterRefusesValuesLongerThanTheLaunchersBuffers) {
    EXPECT_THROW(encodeConfigBlock({{{1, std::string(8192, 'a')}}, {}}), BlockError);
    EXPECT_NO_THROW(encodeConfigBlock({{{1, std::string(8191, 'a')}}, {}}));
    EXPECT_THROW(encodeConfigBlock({{}, {{1, std::u16string(8192, u'a')}}}), BlockError);
}

TEST(ConfigBlockFormat, IncludedRecordIsLengthThenXoredContent) {
    const std::string record = encodeIncludedFile(std::string("\x00\xA7z", 3));
    EXPECT_EQ(record, std::string("\x03\0\0\0\0\0\0\0\xA7\x00\xDD", 11));
}

TEST(ConfigBlockFormat, DamagedBlocksReportTheLaunchersTexts) {
    const std::string pe = test::makePeImage();
    auto decodeError = [&](const std::string& block) {
        try {
            decodeConfigBlock(pe + block, static_cast<uint32_t>(pe.size()));
            return std::string("none");
        } catch (const BlockError& e) {
            return std::string(e.what());
        }
    };
    std::string magic;
    appendLe32(magic, kConfigMagic);
    EXPECT_EQ(decodeError("nope"), "Internal Error: magic");
    EXPECT_EQ(decodeError(magic + std::string("\x01\0", 2)), "Internal Error: readInt");
    std::string negative = magic;
    appendLe32(negative, 1);
    appendLe32(negative, 101);
    appendLe32(negative, 0xFFFFFFFF);  // length -1
    EXPECT_EQ(decodeError(negative), "Internal Error: readString");
    std::string runsPast = magic;
    appendLe32(runsPast, 1);
    appendLe32(runsPast, 101);
    appendLe32(runsPast, 0x7FFFFFF0);  // never allocated
    EXPECT_EQ(decodeError(runsPast), "Internal Error: readString");
    std::string odd = magic;
    appendLe32(odd, 0);
    appendLe32(odd, 1);
    appendLe32(odd, 20017);
    appendLe32(odd, 3);
    EXPECT_EQ(decodeError(odd + "abc"), "Internal Error: readWString");
}

TEST(ReadConfig, LoadsTablesAnswersLookupsAndRecordsTheEnd) {
    FakePlatform fake;
    ConfigBlock block;
    block.narrow = {{101, "first"}, {107, "4"}, {101, "svc"}, {20017, "narrow twin"}};
    block.wide = {{20017, u"wide"}};
    const std::string image = imageWith(block, std::string(50, '\x11'));
    fake.installExecutable(image);
    Process ctx(fake.platform);
    Config config;
    ASSERT_EQ(readConfigExit(ctx, config), -1);
    EXPECT_EQ(getConfigString(config, key::kServiceName), "svc");  // the later entry wins
    EXPECT_EQ(getConfigString(config, 20017), "narrow twin");
    EXPECT_EQ(getConfigWString(config, 20017), u"wide");
    EXPECT_EQ(getConfigWString(config, 101), u"");
    EXPECT_EQ(getConfigString(config, 999), "");
    EXPECT_EQ(config.endPosition(), image.size() - 50);
    EXPECT_FALSE(ctx.fatal.useMessageBox);
}

TEST(ReadConfig, EmptyAndNegativeCountsLoadNothing) {
    FakePlatform fake;
    std::string block;
    appendLe32(block, kConfigMagic);
    appendLe32(block, 0xFFFFFFFE);  // -2 narrow entries: none
    appendLe32(block, 0);
    fake.installExecutable(test::makePeImage() + block);
    Process ctx(fake.platform);
    Config config;
    ASSERT_EQ(readConfigExit(ctx, config), -1);
    EXPECT_TRUE(config.tables().narrow.empty());
    EXPECT_EQ(getConfigInt(config, key::kLauncherType), 0);
    EXPECT_EQ(config.endPosition(), test::makePeImage().size() + 12);
}

TEST(ReadConfig, MessageBoxStaysOnlyForLauncherTypesOneAndFive) {
    for (const auto& [type, box] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"5", true}, {"4", false}, {"", false}, {"2", false}}) {
        FakePlatform fake;
        fake.installExecutable(imageWith({{{107, type}}, {}}));
        Process ctx(fake.platform);
        configureErrorReporting(ctx, readConfig(ctx));
        EXPECT_EQ(ctx.fatal.useMessageBox, box) << "type " << type;
    }
}

TEST(ReadConfig, FatalTextsWhileReadingGoToAMessageBoxAndExitOne) {
    struct Case {
        const char* name;
        std::string image;
        std::string text;
        std::string stdoutText;
    };
    const std::string pe = test::makePeImage();
    std::string magic;
    appendLe32(magic, kConfigMagic);
    std::string shortString = magic;
    appendLe32(shortString, 1);
    appendLe32(shortString, 101);
    appendLe32(shortString, 10);
    shortString += "abc";
    std::string shortWide = magic;
    appendLe32(shortWide, 0);
    appendLe32(shortWide, 1);
    appendLe32(shortWide, 20017);
    appendLe32(shortWide, 8);
    shortWide += "ab";
    const std::vector<Case> cases = {
        {"no block at the end of the file", pe, "Internal Error: readInt", "error 38\n"},
        {"wrong magic", pe + "XXXX", "Internal Error: magic", ""},
        {"cut in count", pe + magic + "\x01", "Internal Error: readInt", "error 38\n"},
        {"short string", pe + shortString, "Internal Error: readString", ""},
        {"short wide", pe + shortWide, "Internal Error: readWString", ""},
        {"truncated headers", pe.substr(0, 0x90), "Internal Error: readShort", "error 38\n"},
    };
    for (const auto& c : cases) {
        FakePlatform fake;
        fake.installExecutable(c.image);
        Process ctx(fake.platform);
        Config config;
        EXPECT_EQ(readConfigExit(ctx, config), 1) << c.name;
        ASSERT_EQ(fake.console.boxes.size(), 1u) << c.name;
        EXPECT_EQ(fake.console.boxes[0].first, c.text) << c.name;
        EXPECT_EQ(fake.console.boxes[0].second, "") << c.name;  // no caption before key 1000 is read
        EXPECT_EQ(fake.console.stdoutText, c.stdoutText) << c.name;
    }
}

TEST(ReadConfig, UnopenableExecutableLogsThePathAndAsksToMoveTheFile) {
    FakePlatform fake;  // no file at the module path
    fake.env.put("KAVRIN_LOG", "yes");
    Process ctx(fake.platform);
    Config config;
    EXPECT_EQ(readConfigExit(ctx, config), 1);
    EXPECT_NE(fake.logText().find("ERROR: Could not open C:\\App\\svc.exe\n"), std::string::npos);
    ASSERT_EQ(fake.console.boxes.size(), 1u);
    EXPECT_EQ(errorShown(fake).substr(0, 79),
              "Error opening media file. Please move this file to an ascii-only path like c:\\\n");
}

TEST(ReadConfig, LogsTheHeaderWalk) {
    FakePlatform fake;
    fake.env.put("KAVRIN_LOG", "yes");
    fake.installExecutable(imageWith({}));
    Process ctx(fake.platform);
    readConfig(ctx);
    const std::string log = fake.logText();
    EXPECT_NE(log.find("number of sections: 2\nsize of optional headers: 240\n"), std::string::npos);
    EXPECT_NE(log.find("resSectionTableStart: 432\n"), std::string::npos);  // 0x80 + 240 + 80 - 16
    EXPECT_NE(log.find("rawDataSize: 512, rawDataOffset: 1024\n"), std::string::npos);
}

TEST(GetConfigInt, ParsesLikeTheRuntimesAtoi) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"12abc", 12}, {" 7", 7}, {"-3", -3}, {"abc", 0}, {"", 0}, {"007", 7}, {" 1", 1},
        {"yes", 0},    {"+5", 5}, {"\t\n9", 9}, {"99999999999999999999", 2147483647}};
    for (const auto& [text, value] : cases) EXPECT_EQ(parseConfigInt(text), value) << text;
}
