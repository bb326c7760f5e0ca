// The pure rules of registry discovery: which key, which order, who wins a tie.
#include <gtest/gtest.h>

#include "jvm/RegistrySearch.h"

namespace kavrin {
namespace {

const std::string kJre = "SOFTWARE\\JavaSoft\\Java Runtime Environment\\";
const std::string kJdk = "SOFTWARE\\JavaSoft\\Java Development Kit\\";

TEST(CurrentVersionKey, TheHigherFamilyVersionWinsAndATieGoesToTheJre) {
    EXPECT_EQ(currentVersionKey("1.6", "1.6"), kJre + "1.6");
    EXPECT_EQ(currentVersionKey("1.6", "1.5"), kJdk + "1.6");
    EXPECT_EQ(currentVersionKey("1.5", "1.6"), kJre + "1.6");
    EXPECT_EQ(currentVersionKey("1.6", ""), kJdk + "1.6");
    EXPECT_EQ(currentVersionKey("", ""), kJre);
}

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

TEST(PickHigher, FirstWinsOnlyWhenStrictlyHigher) {
    std::optional<FoundRuntime> a = FoundRuntime{"a", "1.6.0_10"};
    std::optional<FoundRuntime> b = FoundRuntime{"b", "1.6.0_10"};
    std::optional<FoundRuntime> lower = FoundRuntime{"l", "1.5.0_11"};
    std::optional<FoundRuntime> none;
    EXPECT_EQ(pickHigher(a, b)->javaExe, "b");  // a tie goes to the second
    EXPECT_EQ(pickHigher(a, lower)->javaExe, "a");
    EXPECT_EQ(pickHigher(lower, a)->javaExe, "a");
    EXPECT_EQ(pickHigher(none, a)->javaExe, "a");
    EXPECT_EQ(pickHigher(a, none)->javaExe, "a");
    EXPECT_FALSE(pickHigher(none, none));
}

TEST(LocatedName, SlashesBecomeBackslashes) {
    EXPECT_EQ(locatedNameToPath("c:/jre6/bin/java.exe"), "c:\\jre6\\bin\\java.exe");
}

}  // namespace
}  // namespace kavrin
