#include <gtest/gtest.h>

#include "config/Config.h"
#include "config/ConfigBlock.h"
#include "config/Keys.h"
#include "fakes/LauncherWorld.h"
#include "fakes/PeImage.h"

using namespace kavrin;
using kavrin::test::LauncherWorld;

namespace {

std::string imageWith(const ConfigBlock& block, const std::string& trailer = "") {
    return test::makePeImage() + encodeConfigBlock(block) + trailer;
}

// Reads the block as start-up does (error reporting follows it); the exit code it ended
// with, or nullopt when it returned.
std::optional<uint32_t> readConfigExit(LauncherWorld& w) {
    return test::exitCodeOf([&] {
        w.config = readConfig(w.ctx);
        configureErrorReporting(w.ctx, w.config);
    });
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
    LauncherWorld w;
    auto& [fake, ctx, config] = w;
    ConfigBlock block;
    block.narrow = {{101, "first"}, {107, "4"}, {101, "svc"}, {20017, "narrow twin"}};
    // Long enough that fields and values straddle every boundary of the reads underneath.
    for (int i = 0; i < 40; ++i) block.narrow.push_back({30000 + i, std::string(8000 + i, static_cast<char>('a' + i % 26))});
    block.wide = {{20017, u"wide"}};
    const std::string image = imageWith(block, std::string(50, '\x11'));
    fake.installExecutable(image);
    ASSERT_EQ(readConfigExit(w), std::nullopt);
    EXPECT_EQ(getConfigString(config, key::kServiceName), "svc");  // the later entry wins
    EXPECT_EQ(getConfigString(config, 20017), "narrow twin");
    EXPECT_EQ(getConfigWString(config, 20017), u"wide");
    EXPECT_EQ(getConfigWString(config, 101), u"");
    EXPECT_EQ(getConfigString(config, 999), "");
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(getConfigString(config, 30000 + i), std::string(8000 + i, static_cast<char>('a' + i % 26)));
    EXPECT_EQ(config.endPosition(), image.size() - 50);
    EXPECT_FALSE(ctx.fatal.useMessageBox);
}

TEST(ReadConfig, EmptyAndNegativeCountsLoadNothing) {
    LauncherWorld w;
    std::string block;
    appendLe32(block, kConfigMagic);
    appendLe32(block, 0xFFFFFFFE);  // -2 narrow entries: none
    appendLe32(block, 0);
    w.fake.installExecutable(test::makePeImage() + block);
    ASSERT_EQ(readConfigExit(w), std::nullopt);
    EXPECT_TRUE(w.config.tables().narrow.empty());
    EXPECT_EQ(getConfigInt(w.config, key::kLauncherType), 0);
    EXPECT_EQ(w.config.endPosition(), test::makePeImage().size() + 12);
}

TEST(ReadConfig, MessageBoxStaysOnlyForLauncherTypesOneAndFive) {
    for (const auto& [type, box] :
         std::vector<std::pair<std::string, bool>>{{"1", true}, {"5", true}, {"4", false}, {"", false}, {"2", false}}) {
        LauncherWorld w;
        w.fake.installExecutable(imageWith({{{107, type}}, {}}));
        ASSERT_EQ(readConfigExit(w), std::nullopt);
        EXPECT_EQ(w.ctx.fatal.useMessageBox, box) << "type " << type;
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
        LauncherWorld w;
        w.fake.installExecutable(c.image);
        EXPECT_EQ(readConfigExit(w), 1u) << c.name;
        ASSERT_EQ(w.fake.console.boxes.size(), 1u) << c.name;
        EXPECT_EQ(w.fake.console.boxes[0].first, c.text) << c.name;
        EXPECT_EQ(w.fake.console.boxes[0].second, "") << c.name;  // no caption before key 1000 is read
        EXPECT_EQ(w.fake.console.stdoutText, c.stdoutText) << c.name;
    }
}

TEST(ReadConfig, UnopenableExecutableLogsThePathAndAsksToMoveTheFile) {
    LauncherWorld w;  // no file at the module path
    w.fake.env.put("KAVRIN_LOG", "yes");
    EXPECT_EQ(readConfigExit(w), 1u);
    EXPECT_NE(w.fake.logText().find("ERROR: Could not open C:\\App\\svc.exe\n"), std::string::npos);
    ASSERT_EQ(w.fake.console.boxes.size(), 1u);
    EXPECT_EQ(w.fake.console.boxes[0].first.substr(0, 79),
              "Error opening media file. Please move this file to an ascii-only path like c:\\\n");
}

TEST(ReadConfig, LogsTheHeaderWalk) {
    LauncherWorld w;
    w.fake.env.put("KAVRIN_LOG", "yes");
    w.fake.installExecutable(imageWith({}));
    readConfig(w.ctx);
    const std::string log = w.fake.logText();
    EXPECT_NE(log.find("number of sections: 2\nsize of optional headers: 240\n"), std::string::npos);
    EXPECT_NE(log.find("resSectionTableStart: 432\n"), std::string::npos);  // 0x80 + 240 + 80 - 16
    EXPECT_NE(log.find("rawDataSize: 512, rawDataOffset: 1024\n"), std::string::npos);
}

TEST(GetConfigInt, ParsesLikeTheRuntimesAtoi) {
    const std::vector<std::pair<std::string, int>> cases = {{"12abc", 12},
                                                            {" 7", 7},
                                                            {"-3", -3},
                                                            {"abc", 0},
                                                            {"", 0},
                                                            {"007", 7},
                                                            {" 1", 1},
                                                            {"yes", 0},
                                                            {"+5", 5},
                                                            {"\t\n9", 9},
                                                            {"99999999999999999999", 2147483647}};
    for (const auto& [text, value] : cases) EXPECT_EQ(parseConfigInt(text), value) << text;
}
