#include <gtest/gtest.h>

#include "config/Keys.h"
#include "fakes/LauncherWorld.h"
#include "jvm/Version.h"

namespace kavrin {
namespace {

// A version, the configured bounds and whether the version is accepted.
struct RangeCase {
    const char* version;
    const char* minimum;
    const char* maximum;
    bool expected;
};

int sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareJavaVersions, OrdersByBytesNotNumbers) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"1.5", "1.5.0_11", -1},                               // a proper prefix orders first
        {"1.5.0_11", "1.6", -1}, {"1.6.0_10", "1.6.0_9", -1},  // '1' < '9': bytes, not numbers
        {"1.10", "1.5", -1},     {"1.6.0", "1.6.0", 0},       {"", "1", -1}, {"", "", 0},
        {"1.6\x80", "1.6a", 1},  // unsigned bytes: 0x80 orders above 'a'
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sign(compareJavaVersions(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(compareJavaVersions(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
    }
}

class JavaVersionAllowed : public ::testing::Test, protected test::LauncherWorld {};

TEST_F(JavaVersionAllowed, BoundsActOnTheLeadingCharacters) {
    const RangeCase cases[] = {
        {"1.5.0_11", "1.5", "", true},
        {"1.6.0_03", "1.5", "", true},
        {"1.5", "1.5", "", true},
        {"1.4.2_10", "1.5", "", false},
        {"1.5.0_11", "", "1.5", true},
        {"1.6.0", "", "1.5", false},
        {"1.5.0_05", "1.5.0_06", "", false},
        {"1.5", "1.5.0_06", "", false},
        {"1.5.0_10", "1.5.0_06", "", true},
        {"1.10", "1.5", "", false},
        {"", "", "", true},
        {"9", "", "", true},
        {"1.6.0_01", "1.5", "1.6", true},
        {"1.7.0", "1.5", "1.6", false},
    };
    for (const RangeCase& c : cases) {
        EXPECT_EQ(isJavaVersionAllowed(ctx, config, c.version, c.minimum, c.maximum, PreRelease::Refused), c.expected)
            << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
    }
}

TEST_F(JavaVersionAllowed, PreReleaseFailsUnlessAllowed) {
    fake.env.put("KAVRIN_LOG", "yes");
    for (const char* version : {"1.6.0-beta2", "1.7.0-ea", "1.6.0-rc", "1.6.0-release", "1.6.0_search"}) {
        EXPECT_FALSE(isJavaVersionAllowed(ctx, config, version, "1.5", "", PreRelease::Refused)) << version;
        EXPECT_TRUE(isJavaVersionAllowed(ctx, config, version, "1.5", "", PreRelease::Allowed)) << version;
    }
    EXPECT_TRUE(isJavaVersionAllowed(ctx, config, "1.6.0-BETA", "1.5", "", PreRelease::Refused));  // case matters
    EXPECT_NE(fake.logText().find("\nbeta vm not allowed\n"), std::string::npos) << fake.logText();
}

TEST_F(JavaVersionAllowed, KeyAllowPreReleaseLetsThemPassButNotTheRange) {
    set(key::kAllowPreRelease, "1");
    EXPECT_TRUE(isJavaVersionAllowed(ctx, config, "1.6.0-beta2", "1.5", "", PreRelease::Refused));
    EXPECT_FALSE(isJavaVersionAllowed(ctx, config, "1.4.2-beta", "1.5", "", PreRelease::Refused));
    set(key::kAllowPreRelease, "0");
    EXPECT_FALSE(isJavaVersionAllowed(ctx, config, "1.6.0-beta2", "1.5", "", PreRelease::Refused));
}

TEST(RegistryVersionInRange, ComparesOverTheShorterLength) {
    const RangeCase cases[] = {
        {"1.5", "1.5.0_06", "", true},
        {"1.4", "1.5.0_06", "", false},
        {"1.5.0_05", "1.5.0_06", "", false},
        {"1.5.0_11", "", "1.5", true},
        {"1.5", "", "1.5", true},
        {"1.6", "", "1.5", false},
        {"", "1.5", "1.5", true},
        {"", "", "", true},
        {"1.6.0-beta", "1.5", "", true},  // no pre-release filter here
        {"1.10", "1.5", "", false},
    };
    for (const RangeCase& c : cases) {
        EXPECT_EQ(isRegistryVersionInRange(c.version, c.minimum, c.maximum), c.expected)
            << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
    }
}

// The modern order over real version strings, lowest first.
TEST(ModernVersionOrder, RanksRealVersionStringsAsNumbers) {
    const char* ascending[] = {"1.6.0_45", "1.8.0_392", "9", "9.0.4", "11.0.21+9", "17", "17.0.10", "21-ea", "21.0.1"};
    for (size_t i = 0; i < std::size(ascending); ++i)
        for (size_t j = 0; j < std::size(ascending); ++j)
            EXPECT_EQ(sign(compareJavaVersions(VersionRules::Modern, ascending[i], ascending[j])), (i > j) - (i < j))
                << ascending[i] << " vs " << ascending[j];

    struct Same {
        const char* a;
        const char* b;
    };
    for (Same same :
         {Same{"1.8", "8"}, Same{"1.8.0_392", "8.0.392"}, Same{"17", "17.0.0"}, Same{"1.8.0_392-b08", "8.0.392+8"}})
        EXPECT_EQ(compareJavaVersions(VersionRules::Modern, same.a, same.b), 0) << same.a << " vs " << same.b;
    // Build numbers order releases of one version; a text that is no version orders lowest.
    EXPECT_LT(compareJavaVersions(VersionRules::Modern, "17.0.9+8", "17.0.9+11"), 0);
    EXPECT_LT(compareJavaVersions(VersionRules::Modern, "unknown", "1.0.0"), 0);
    EXPECT_EQ(parseNumericVersion("17.0.x"), std::nullopt);
    EXPECT_EQ(parseNumericVersion(""), std::nullopt);
}

TEST_F(JavaVersionAllowed, ModernBoundsCompareAsNumbers) {
    set(key::kJvmRules, "modern");
    const RangeCase cases[] = {
        {"17.0.9", "1.8", "", true},        {"17.0.9", "8", "", true},       {"1.8.0_392", "1.8", "", true},
        {"1.7.0_80", "1.8", "", false},     {"9", "17", "", false},          {"17", "9", "", true},
        {"1.10", "1.5", "", true},          {"17.0.10", "17.0.9", "", true}, {"21.0.1", "", "17", false},
        {"17.0.10", "", "17", true},        {"17.0.6", "", "17.0.5", false}, {"21-ea", "", "21", true},
        {"21", "", "21-ea", false},         {"garbage", "1.8", "", false},   {"garbage", "", "", true},
        {"17", "not-a-version", "", false},
    };
    for (const RangeCase& c : cases)
        EXPECT_EQ(isJavaVersionAllowed(ctx, config, c.version, c.minimum, c.maximum, PreRelease::Allowed), c.expected)
            << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
    // The pre-release filter still applies, and 21-ea sorts before 21.
    EXPECT_FALSE(isJavaVersionAllowed(ctx, config, "21-ea", "1.8", "", PreRelease::Refused));
    EXPECT_FALSE(isJavaVersionAllowed(ctx, config, "21-ea", "21", "", PreRelease::Allowed));
}

TEST(RegistryVersionInRange, ModernComparesOverTheShorterListOfNumbers) {
    const RangeCase cases[] = {
        {"17", "17.0.5", "", true},     {"11", "17", "", false},      {"1.8", "8", "", true},
        {"21.0.1.12", "", "17", false}, {"17.0.9.9", "", "17", true}, {"zulu", "17", "", true},
    };
    for (const RangeCase& c : cases)
        EXPECT_EQ(isRegistryVersionInRange(VersionRules::Modern, c.version, c.minimum, c.maximum), c.expected)
            << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
}

}  // namespace
}  // namespace kavrin
