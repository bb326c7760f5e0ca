// The pure rules of the search sequence: splitting, the fallback pass's choice, location lines.
#include <gtest/gtest.h>

#include "jvm/Search.h"

namespace kavrin {
namespace {

std::vector<std::pair<char, std::string>> flat(const std::vector<SearchEntry>& entries) {
    std::vector<std::pair<char, std::string>> out;
    for (const auto& e : entries) out.emplace_back(e.type, e.argument);
    return out;
}

TEST(SearchSequence, EmptyEntriesAreSkippedAndTheFirstCharacterIsTheType) {
    using V = std::vector<std::pair<char, std::string>>;
    EXPECT_EQ(flat(parseSearchSequence("B..\\jre;R..\\jre;")), (V{{'B', "..\\jre"}, {'R', "..\\jre"}}));
    EXPECT_EQ(flat(parseSearchSequence(";;Ec:\\x;;S;Y;")), (V{{'E', "c:\\x"}, {'S', ""}, {'Y', ""}}));
    EXPECT_EQ(flat(parseSearchSequence("b")), (V{{'b', ""}}));
    EXPECT_TRUE(parseSearchSequence("").empty());
    EXPECT_TRUE(parseSearchSequence(";;;").empty());
}

struct FallbackCase {
    char type;
    const char* argument;
    bool tried;
};

class Fallback : public testing::TestWithParam<FallbackCase> {};

TEST_P(Fallback, TriesBAlwaysAndAOrROnlyWithARelativeArgument) {
    EXPECT_EQ(triedInFallback({GetParam().type, GetParam().argument}), GetParam().tried)
        << GetParam().type << GetParam().argument;
}

INSTANTIATE_TEST_SUITE_P(Entries, Fallback,
                         testing::Values(FallbackCase{'B', "c:\\jre", true}, FallbackCase{'B', "jre", true},
                                         FallbackCase{'R', "c:\\jre", false}, FallbackCase{'R', "jre", true},
                                         FallbackCase{'R', "..\\jre", true},
                                         FallbackCase{'A', "\\\\server\\jre", false}, FallbackCase{'A', "\\jre", true},
                                         // Narrower than the general relative test: c:jre counts as absolute.
                                         FallbackCase{'A', "c:jre", false}, FallbackCase{'R', "c", true},
                                         FallbackCase{'A', "", true}, FallbackCase{'E', "JAVA_HOME", false},
                                         FallbackCase{'S', "", false}, FallbackCase{'Y', "", false},
                                         FallbackCase{'b', "jre", false}));

TEST(LocationLine, FirstLineWithoutItsLineEnd) {
    EXPECT_EQ(firstLocationLine("c:\\jre6\r\nsecond\r\n"), "c:\\jre6");
    EXPECT_EQ(firstLocationLine("..\\jre\n"), "..\\jre");
    EXPECT_EQ(firstLocationLine("c:\\jre\r\r\n"), "c:\\jre");
    EXPECT_EQ(firstLocationLine("no line end"), "no line end");
    // An empty first line still counts as a line; an empty file does not.
    EXPECT_EQ(firstLocationLine("\r\nc:\\jre\n"), "");
    EXPECT_EQ(firstLocationLine(""), std::nullopt);
}

TEST(LocationLine, CutAt8191Characters) {
    std::string line(9000, 'x');
    auto first = firstLocationLine(line + "\n");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 8191u);
}

}  // namespace
}  // namespace kavrin
