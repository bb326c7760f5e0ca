// The pure rules of the java probe: reading the version line, the cache's key and bytes.
#include <gtest/gtest.h>

#include "jvm/Probe.h"

namespace kavrin {
namespace {

struct VersionLineCase {
    const char* line;
    std::optional<std::string> version;
};

class VersionLine : public testing::TestWithParam<VersionLineCase> {};

TEST_P(VersionLine, YieldsTheTextUpToTheClosingQuote) {
    EXPECT_EQ(parseJavaVersionLine(GetParam().line), GetParam().version) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, VersionLine,
    testing::Values(
        VersionLineCase{"java version \"1.6.0_03\"\n", "1.6.0_03"},
        VersionLineCase{"java version \"1.5.0_11\"", "1.5.0_11"},  // no line feed at the end
        // Current runtimes print more after the quote.
        VersionLineCase{"java version \"17.0.2\" 2022-01-18 LTS\n", "17.0.2"},
        VersionLineCase{"java version \"1.6.0-rc\"\n", "1.6.0-rc"}, VersionLineCase{"java version \"\"\n", ""},
        // No closing quote, or nothing after the prefix to cut.
        VersionLineCase{"java version \"1.6.0_03\n", std::nullopt}, VersionLineCase{"java version \"1\n", std::nullopt},
        VersionLineCase{"java version \"\n", std::nullopt}, VersionLineCase{"java version \"", std::nullopt},
        // Another wording, or a warning first.
        VersionLineCase{"openjdk version \"17.0.2\" 2022-01-18\n", std::nullopt},
        VersionLineCase{"Picked up _JAVA_OPTIONS: -Xmx512m\n", std::nullopt},
        VersionLineCase{"Java version \"1.6.0\"\n", std::nullopt},
        VersionLineCase{"java version 1.6.0\n", std::nullopt}, VersionLineCase{"", std::nullopt}));

TEST(VersionLineModern, AlsoTakesTheOpenJdkWording) {
    EXPECT_EQ(parseJavaVersionLine("openjdk version \"17.0.9\" 2023-10-17\n", VersionRules::Modern), "17.0.9");
    EXPECT_EQ(parseJavaVersionLine("java version \"1.8.0_392\"\n", VersionRules::Modern), "1.8.0_392");
    EXPECT_EQ(parseJavaVersionLine("openjdk version 17\n", VersionRules::Modern), std::nullopt);
    EXPECT_EQ(parseJavaVersionLine("OpenJDK version \"17\"\n", VersionRules::Modern), std::nullopt);
}

TEST(ReleaseFile, JavaVersionLineGivesTheVersion) {
    EXPECT_EQ(
        releaseFileVersion("IMPLEMENTOR=\"Eclipse Adoptium\"\r\nJAVA_VERSION=\"17.0.9\"\r\nOS_NAME=\"Windows\"\r\n"),
        "17.0.9");
    EXPECT_EQ(releaseFileVersion("JAVA_VERSION=\"1.8.0_392\""), "1.8.0_392");  // no line end
    EXPECT_EQ(releaseFileVersion("JAVA_VERSION_DATE=\"2023-10-17\"\nJAVA_VERSION=\"21\"\n"), "21");
    EXPECT_EQ(releaseFileVersion("JAVA_VERSION=\"\"\n"), std::nullopt);
    EXPECT_EQ(releaseFileVersion("IMPLEMENTOR=\"x\"\n"), std::nullopt);
    EXPECT_EQ(releaseFileCandidates("c:\\jdk\\bin\\java.exe"), std::vector<std::string>{"c:\\jdk\\release"});
    EXPECT_EQ(releaseFileCandidates("c:\\jdk8\\jre\\bin\\java.exe"),
              (std::vector<std::string>{"c:\\jdk8\\jre\\release", "c:\\jdk8\\release"}));
    EXPECT_TRUE(releaseFileCandidates("java.exe").empty());
}

TEST(ProbeFirstLine, TextModeTurnsCrLfIntoLfAndStopsAfterTheFirstLine) {
    EXPECT_EQ(firstProbeLine("java version \"1.6.0_03\"\r\nJava(TM) SE\r\n"), "java version \"1.6.0_03\"\n");
    EXPECT_EQ(firstProbeLine("a\rb\n"), "a\rb\n");  // a lone CR stays
    EXPECT_EQ(firstProbeLine("ab\x1a"
                             "cd\n"),
              "ab");
    EXPECT_EQ(firstProbeLine(""), "");
}

TEST(ProbeFirstLine, HoldsAtMost99Characters) {
    std::string longVersion(90, '9');
    std::string line = "java version \"" + longVersion + "\"\n";  // 106 characters
    std::string first = firstProbeLine(line + "next\n");
    EXPECT_EQ(first.size(), 99u);
    // The closing quote lies beyond the 99 characters: no version.
    EXPECT_EQ(parseJavaVersionLine(first), std::nullopt);

    std::string fits = "java version \"" + std::string(83, '1') + "\"\n";  // 99 with the line feed
    EXPECT_EQ(parseJavaVersionLine(firstProbeLine(fits)), std::string(83, '1'));
}

TEST(VersionCacheKey, PathWithForwardSlashesUnderTheProductKey) {
    EXPECT_EQ(versionCacheKeyName("c:\\program files\\java\\jre1.5.0_11\\bin\\java.exe"),
              "SOFTWARE\\dalvenco\\kavrin\\jvms\\c:/program files/java/jre1.5.0_11/bin/java.exe");
    EXPECT_EQ(versionCacheKeyName("\\\\server\\share\\java.exe"),
              "SOFTWARE\\dalvenco\\kavrin\\jvms\\//server/share/java.exe");
}

TEST(VersionCacheKey, FileTimeIsStoredLowByteFirst) {
    std::string bytes = fileTimeBytes(FileTime{0x01D2A3B4C5D6E7F8ull});
    ASSERT_EQ(bytes.size(), 8u);
    EXPECT_EQ(bytes, std::string("\xF8\xE7\xD6\xC5\xB4\xA3\xD2\x01", 8));
    EXPECT_EQ(fileTimeBytes(FileTime{0}), std::string(8, '\0'));
}

TEST(ProbeCommandLine, QuotesTheExecutable) {
    EXPECT_EQ(probeCommandLine("c:\\program files\\java\\bin\\java.exe"),
              "\"c:\\program files\\java\\bin\\java.exe\" -version");
}

}  // namespace
}  // namespace kavrin
