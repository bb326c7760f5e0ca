// Argument splitting and the main argument list.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"
#include "launch/Arguments.h"

namespace kavrin {
namespace {

class ArgumentsTest : public ::testing::Test, protected test::LauncherWorld {
protected:
    ArgumentsTest() {
        placeModule();
        ctx.fatal.useMessageBox = false;
        config = config.with(key::kMsgWrongParameter, "Wrong Parameter Usage");
    }
    LauncherVariables vars() { return launcherVariables(ctx, config, "", ""); }
    WideList split(const std::u16string& text) {
        WideList out;
        splitArguments(ctx, config, text, out);
        return out;
    }
};

TEST_F(ArgumentsTest, SplittingRules) {
    struct Case {
        std::u16string text;
        WideList expected;
    } cases[] = {
        {u"", {}},
        {u"    ", {}},
        {u"a  b", {u"a", u"b"}},
        {u" a ", {u"a"}},
        {u"\"\"", {u""}},
        {u"''", {u""}},
        {u"\"C:\\Program Files\\x.exe\"", {u"C:\\Program Files\\x.exe"}},
        {u"\"C:\\dir\\\" next", {u"C:\\dir\\", u"next"}},  // a backslash never escapes
        {u"ab\"c d\"ef gh", {u"abc d", u"ef", u"gh"}},
        {u"\"it's\"", {u"it's"}},
        {u"'say \"hi\"'", {u"say \"hi\""}},
        {u"a'b \"c' d", {u"ab \"c", u"d"}},  // the single quote comes first and groups
        {u"a\tb", {u"a\tb"}},                // a tab does not separate
        {u"\"x\"  y", {u"x", u"y"}},
        {u"-J-Dx=1 \u00e9\u4e2d", {u"-J-Dx=1", u"\u00e9\u4e2d"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(split(c.text), c.expected) << std::string(c.text.begin(), c.text.end());
    }
}

TEST_F(ArgumentsTest, UnterminatedQuoteIsFatal1007) {
    for (const std::u16string text : {u"\"", u"a \"b c", u"'x", u"ok \"fine\" 'not"}) {
        fake.console.stderrText.clear();
        EXPECT_NE(fatalText([&] { split(text); }).find("Wrong Parameter Usage"), std::string::npos);
    }
}

TEST_F(ArgumentsTest, NarrowSplittingKeepsBytesAndQuotes) {
    NarrowList out;
    splitArgumentsNarrow(ctx, config, " -Xrs \"-Dname=a b\" -Dc=\xe9", out);
    EXPECT_EQ(out, (NarrowList{"-Xrs", "-Dname=a b", "-Dc=\xe9"}));
}

TEST(ArgumentConversions, PercentSRoundTripsSingleBytesOnly) {
    EXPECT_EQ(widenBytes("a\xe9\xff"), std::u16string(u"a\u00e9\u00ff"));
    // Units above 255 have no byte in the "C" locale; they become "?".
    EXPECT_EQ(narrowUnits(u"a\u00e9\u4e2d"), "a\xe9?");
}

TEST_F(ArgumentsTest, StartClassParametersOfTheConfigurationAtHand) {
    set(key::kLauncherType, "4");
    set(key::kMainClass, "org.example.Server");
    set(key::kPassErrorLog, "0");
    set(key::kErrorLogFile, "error.log");
    set(key::kPassOutputLog, "0");
    set(key::kOutputLogFile, "output.log");
    set(key::kStartClassFlag, "1");
    WideList params;
    addStartClassParameters(ctx, config, vars(), params);
    EXPECT_EQ(params, (WideList{u"false", u"org.example.Server", u"", u"", u"true"}));
}

TEST_F(ArgumentsTest, StartClassParametersWithLogFilesAndGuiType) {
    set(key::kLauncherType, "1");
    set(key::kPassErrorLog, "1");
    set(key::kErrorLogFile, "${KAVRIN_EXEDIR}logs\\..\\error.log");
    set(key::kPassOutputLog, "2");
    set(key::kOutputLogFile, "D:\\Out\\Output.log");
    set(key::kStartClassFlag, "0");
    WideList params;
    addStartClassParameters(ctx, config, vars(), params);
    EXPECT_EQ(params, (WideList{u"true", u"", u"C:\\Apps\\Server\\error.log", u"D:\\Out\\Output.log", u"false"}));
}

TEST_F(ArgumentsTest, JArgumentsLeaveTheMainArgumentsOnlyWhenRouted) {
    set(key::kMainClass, "M");
    const WideList launcher{u"Server", u"-Jx", u"plain", u"-jlower", u"-Jy"};
    set(key::kRouteJArguments, "1");
    WideList routed = buildMainArguments(ctx, config, vars(), launcher);
    EXPECT_EQ(WideList(routed.begin() + 5, routed.end()), (WideList{u"Server", u"plain", u"-jlower"}));

    set(key::kRouteJArguments, "0");
    WideList kept = buildMainArguments(ctx, config, vars(), launcher);
    EXPECT_EQ(WideList(kept.begin() + 5, kept.end()), (WideList{u"Server", u"-Jx", u"plain", u"-jlower", u"-Jy"}));
}

TEST_F(ArgumentsTest, FirstLauncherArgumentAlwaysStaysAndFixedArgumentsFollowIt) {
    set(key::kRouteJArguments, "1");
    set(key::kArguments, "-a \"b c\" ${launcher:sys.pathlistSeparator}");
    WideList args = buildMainArguments(ctx, config, vars(), {u"-Jfirst", u"-Jsecond", u"\u00e9\u4e2d"});
    ASSERT_EQ(args.size(), 10u);
    EXPECT_EQ(WideList(args.begin() + 5, args.end()), (WideList{u"-Jfirst", u"-a", u"b c", u";", u"\u00e9\u4e2d"}));
}

TEST_F(ArgumentsTest, EmptyLauncherListAndEmptyFixedArgumentsGiveTheFiveParameters) {
    EXPECT_EQ(buildMainArguments(ctx, config, vars(), {}).size(), 5u);
}

TEST_F(ArgumentsTest, UnterminatedQuoteInFixedArgumentsIsFatal) {
    set(key::kArguments, "-a \"b");
    EXPECT_THROW(buildMainArguments(ctx, config, vars(), {u"Server"}), test::ProcessExit);
}

}  // namespace
}  // namespace kavrin
