// Environment variables: the Win32 block and the C runtime's copy are separate.
#include <algorithm>

#include "Win32TestSupport.h"

namespace kavrin::test {
namespace {

using EnvironmentTest = Win32Test;

TEST_F(EnvironmentTest, MissingEmptyAndSetAreThreeDifferentAnswers) {
    EXPECT_FALSE(os.env.get("KAVRIN_WT_ABSENT"));
    ASSERT_TRUE(os.env.set("KAVRIN_WT_EMPTY", ""));
    auto empty = os.env.get("KAVRIN_WT_EMPTY");
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, "");
    ASSERT_TRUE(os.env.set("KAVRIN_WT_VALUE", "a value"));
    EXPECT_EQ(os.env.get("KAVRIN_WT_VALUE").value_or("<none>"), "a value");
}

TEST_F(EnvironmentTest, LongValuesComeBackWhole) {
    std::string value(20000, 'v');
    ASSERT_TRUE(os.env.set("KAVRIN_WT_LONG", value));
    EXPECT_EQ(os.env.get("KAVRIN_WT_LONG").value_or(""), value);
}

TEST_F(EnvironmentTest, TheBlockListsWhatWasSet) {
    ASSERT_TRUE(os.env.set("KAVRIN_WT_BLOCK", "x=y"));
    auto block = os.env.block();
    ASSERT_TRUE(block);
    EXPECT_NE(std::find(block->begin(), block->end(), "KAVRIN_WT_BLOCK=x=y"), block->end());
}

TEST_F(EnvironmentTest, TheRuntimeCopyIsSetWithPutenv) {
    EXPECT_FALSE(os.env.crtGet("KAVRIN_WT_CRT"));
    ASSERT_TRUE(os.env.crtPut("KAVRIN_WT_CRT=from putenv"));
    EXPECT_EQ(os.env.crtGet("KAVRIN_WT_CRT").value_or(""), "from putenv");
}

}  // namespace
}  // namespace kavrin::test
