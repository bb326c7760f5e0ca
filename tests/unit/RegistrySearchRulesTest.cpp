// The order in which registered version names are tried.
#include <gtest/gtest.h>

#include "jvm/RegistrySearch.h"

namespace kavrin {
namespace {

TEST(RegistryVersionsToTry, InRangeOnlyHighestFirstByBytes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(registryVersionsToTry({"1.4.2", "1.5", "1.5.0_11", "1.6.0_02"}, "1.5", ""),
              (V{"1.6.0_02", "1.5.0_11", "1.5"}));
    // Byte order, not numbers: 1.6.0_9 ranks above 1.6.0_10.
    EXPECT_EQ(registryVersionsToTry({"1.6.0_10", "1.6.0_9"}, "", ""), (V{"1.6.0_9", "1.6.0_10"}));
    // A family name fits a longer minimum; the maximum cuts 1.6.
    EXPECT_EQ(registryVersionsToTry({"1.5", "1.6", "1.4", "1.5.0_05"}, "1.5.0_06", "1.5"), (V{"1.5"}));
    EXPECT_TRUE(registryVersionsToTry({}, "1.5", "").empty());
}

}  // namespace
}  // namespace kavrin
