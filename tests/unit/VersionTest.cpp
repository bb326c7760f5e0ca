#include <gtest/gtest.h>

#include "config/Context.h"
#include "config/Keys.h"
#include "fakes/FakePlatform.h"
#include "jvm/Version.h"

namespace kavrin {
namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareJavaVersions, OrdersByBytesNotNumbers) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"1.5", "1.5.0_11", -1},      // a proper prefix orders first
        {"1.5.0_11", "1.6", -1},
        {"1.6.0_10", "1.6.0_9", -1},  // '1' < '9': bytes, not numbers
        {"1.10", "1.5", -1},
        {"1.6.0", "1.6.0", 0},
        {"", "1", -1},
        {"", "", 0},
        {"1.6\x80", "1.6a", 1},       // unsigned bytes: 0x80 orders above 'a'
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sign(compareJavaVersions(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(compareJavaVersions(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
    }
}

class JavaVersionAllowed : public ::testing::Test {
protected:
    test::FakePlatform fake;
    Context ctx{fake.platform};
};

TEST_F(JavaVersionAllowed, BoundsActOnTheLeadingCharacters) {
    struct Case {
        const char* version;
        const char* minimum;
        const char* maximum;
        bool expected;
    };
    const Case cases[] = {
        {"1.5.0_11", "1.5", "", true},   {"1.6.0_03", "1.5", "", true},
        {"1.5", "1.5", "", true},        {"1.4.2_10", "1.5", "", false},
        {"1.5.0_11", "", "1.5", true},   {"1.6.0", "", "1.5", false},
        {"1.5.0_05", "1.5.0_06", "", false}, {"1.5", "1.5.0_06", "", false},
        {"1.5.0_10", "1.5.0_06", "", true},  {"1.10", "1.5", "", false},
        {"", "", "", true},              {"9", "", "", true},
        {"1.6.0_01", "1.5", "1.6", true},    {"1.7.0", "1.5", "1.6", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isJavaVersionAllowed(ctx, c.version, c.minimum, c.maximum, false), c.expected)
            << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
    }
}

TEST_F(JavaVersionAllowed, PreReleaseFailsUnlessAllowed) {
    fake.env.put("KAVRIN_LOG", "yes");
    for (const char* version : {"1.6.0-beta2", "1.7.0-ea", "1.6.0-rc", "1.6.0-release", "1.6.0_search"}) {
        EXPECT_FALSE(isJavaVersionAllowed(ctx, version, "1.5", "", false)) << version;
        EXPECT_TRUE(isJavaVersionAllowed(ctx, version, "1.5", "", true)) << version;
    }
    EXPECT_TRUE(isJavaVersionAllowed(ctx, "1.6.0-BETA", "1.5", "", false));  // case matters
    EXPECT_NE(fake.logText().find("\nbeta vm not allowed\n"), std::string::npos) << fake.logText();
}

TEST_F(JavaVersionAllowed, KeyAllowPreReleaseLetsThemPassButNotTheRange) {
    ctx.config.narrow[key::kAllowPreRelease] = "1";
    EXPECT_TRUE(isJavaVersionAllowed(ctx, "1.6.0-beta2", "1.5", "", false));
    EXPECT_FALSE(isJavaVersionAllowed(ctx, "1.4.2-beta", "1.5", "", false));
    ctx.config.narrow[key::kAllowPreRelease] = "0";
    EXPECT_FALSE(isJavaVersionAllowed(ctx, "1.6.0-beta2", "1.5", "", false));
}

TEST(RegistryVersionInRange, ComparesOverTheShorterLength) {
    struct Case {
        const char* version;
        const char* minimum;
        const char* maximum;
        bool expected;
    };
    const Case cases[] = {
        {"1.5", "1.5.0_06", "", true},      {"1.4", "1.5.0_06", "", false},
        {"1.5.0_05", "1.5.0_06", "", false}, {"1.5.0_11", "", "1.5", true},
        {"1.5", "", "1.5", true},           {"1.6", "", "1.5", false},
        {"", "1.5", "1.5", true},           {"", "", "", true},
        {"1.6.0-beta", "1.5", "", true},    // no pre-release filter here
        {"1.10", "1.5", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isRegistryVersionInRange(c.version, c.minimum, c.maximum), c.expected)
            << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
    }
}

}  // namespace
}  // namespace kavrin
