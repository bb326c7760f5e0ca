// The JVM option list: sources in order, class path slots, the .vmoptions reader.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"
#include "launch/VmOptions.h"

namespace kavrin {
namespace {

using Options = std::vector<std::string>;

class VmOptionsTest : public ::testing::Test, protected test::LauncherWorld {
protected:
    VmOptionsTest() {
        placeModule();
        ctx.fatal.useMessageBox = false;
        set(key::kRouteJArguments, "1");
    }
    Options build(const WideList& launcher = {}) {
        return buildJvmOptions(ctx, config, launcherVariables(ctx, config, "", ""), {"-Dp1", "-Dp2"}, launcher);
    }
    void vmoptions(const std::string& content, const char* name = "C:\\Apps\\Server\\server.vmoptions") {
        fake.fs.addFile(name, content);
    }
};

TEST_F(VmOptionsTest, ConfigurationAtHandGivesPropertiesThenKey123ThenClassPath) {
    set(key::kVmParameters, " -Xrs");
    EXPECT_EQ(build({u"Server"}), (Options{"-Dp1", "-Dp2", "-Xrs", "-Djava.class.path="}));
}

TEST_F(VmOptionsTest, SourcesKeepTheirOrderAndDuplicatesReachTheJvm) {
    set(key::kVmParameters, "-Da=1 -Xss1m");
    vmoptions("-Da=3\n-Xmx256m\n");
    EXPECT_EQ(
        build({u"Server", u"-J-Da=2", u"arg", u"-J-Xint"}),
        (Options{"-Dp1", "-Dp2", "-Da=1", "-Xss1m", "-Da=2", "-Xint", "-Da=3", "-Xmx256m", "-Djava.class.path="}));
}

TEST_F(VmOptionsTest, JArgumentsNeedKey125AndAnUpperCaseJ) {
    const WideList launcher{u"-J-Xmx512m", u"-j-Xlower", u"-J-classpath/p pre.jar", u"-J\u00e9"};
    EXPECT_EQ(build(launcher), (Options{"-Dp1", "-Dp2", "-Xmx512m", "\xe9", "-Djava.class.path=pre.jar;"}));
    set(key::kRouteJArguments, "0");
    EXPECT_EQ(build(launcher), (Options{"-Dp1", "-Dp2", "-Djava.class.path="}));
}

TEST_F(VmOptionsTest, Key123ClassPathFormsNeedTheirSpace) {
    // Unquoted, "-classpath" and its value are two tokens: both reach the JVM unchanged.
    set(key::kVmParameters, "-classpath lib\\a.jar -cp x.jar");
    EXPECT_EQ(build(), (Options{"-Dp1", "-Dp2", "-classpath", "lib\\a.jar", "-cp", "x.jar", "-Djava.class.path="}));
    // Quoted, it is one token that sets the replacement class path.
    set(key::kVmParameters, "\"-classpath lib\\a.jar\"");
    EXPECT_EQ(build(), (Options{"-Dp1", "-Dp2", "-Djava.class.path=lib\\a.jar"}));
}

TEST_F(VmOptionsTest, Key123IsExpandedBeforeItIsSplit) {
    fake.env.put("OPTS", "-Xms1m -Xmx2m");
    set(key::kVmParameters, "${OPTS} \"-Dq=${OPTS}\"");
    EXPECT_EQ(build(), (Options{"-Dp1", "-Dp2", "-Xms1m", "-Xmx2m", "-Dq=-Xms1m -Xmx2m", "-Djava.class.path="}));
}

TEST(ClassifyVmOption, PrefixesAreExactAndLaterSettingsWin) {
    struct Case {
        const char* text;
        const char* replacement;
        const char* prepended;
        const char* appended;
        bool listed;
    } cases[] = {
        {"-classpath a.jar", "a.jar", nullptr, nullptr, false},
        {"-classpath/p  b.jar ", nullptr, " b.jar ", nullptr, false},  // nothing is trimmed
        {"-classpath/a c.jar", nullptr, nullptr, "c.jar", false},
        {"-classpath", nullptr, nullptr, nullptr, true},
        {"-classpath/a", nullptr, nullptr, nullptr, true},
        {"-CLASSPATH a.jar", nullptr, nullptr, nullptr, true},
        {"-cp a.jar", nullptr, nullptr, nullptr, true},
    };
    for (const Case& c : cases) {
        Options options;
        ClassPathSlots slots;
        classifyVmOption(c.text, options, slots);
        EXPECT_EQ(slots.replacement.value_or("<none>"), c.replacement ? c.replacement : "<none>") << c.text;
        EXPECT_EQ(slots.prepended.value_or("<none>"), c.prepended ? c.prepended : "<none>") << c.text;
        EXPECT_EQ(slots.appended.value_or("<none>"), c.appended ? c.appended : "<none>") << c.text;
        EXPECT_EQ(options, c.listed ? Options{c.text} : Options{}) << c.text;
    }
}

TEST(VmOptionsLine, TrimmingRules) {
    struct Case {
        std::string line;
        std::optional<std::string> option;
    } cases[] = {
        {"  -Xmx256m  \n", "-Xmx256m"},
        {"-Xmx256m\r\r\n", "-Xmx256m"},
        {"#-Xmx1g\n", std::nullopt},
        {"   # indented comment", std::nullopt},
        {"\n", std::nullopt},
        {"    \n", std::nullopt},
        {"\t-Xint\n", "\t-Xint"},  // only spaces are trimmed
        {"-Dname=a b c \n", "-Dname=a b c"},
        {"-Da=x#y", "-Da=x#y"},
    };
    for (const Case& c : cases) EXPECT_EQ(trimVmOptionsLine(c.line), c.option) << c.line;
}

TEST_F(VmOptionsTest, FileLinesAreWholeOptionsExpandedAndRoutedToSlots) {
    // The appended class path follows the empty configured class path after a ";".
    vmoptions(
        "# comment\r\n  -Dpath=${KAVRIN_EXEDIR}x y  \r\n\r\n-classpath/a extra.jar\n-classpath/a last.jar\n\t-Xint");
    EXPECT_EQ(build(),
              (Options{"-Dp1", "-Dp2", "-Dpath=C:\\Apps\\Server\\x y", "\t-Xint", "-Djava.class.path=;last.jar"}));
}

TEST_F(VmOptionsTest, TextModeEndsTheFileAtCtrlZ) {
    vmoptions("-Da=1\r\n-Db=2\x1a\r\n-Dc=3\r\n");
    EXPECT_EQ(build(), (Options{"-Dp1", "-Dp2", "-Da=1", "-Db=2", "-Djava.class.path="}));
}

TEST_F(VmOptionsTest, LongLinesArriveIn8191CharacterReads) {
    const std::string first(kVmOptionsReadLimit, 'a');
    vmoptions("-D" + first + "tail\n" + std::string(kVmOptionsReadLimit - 1, 'b') + "\n-Dnext\n");
    const Options options = build();
    ASSERT_EQ(options.size(), 7u);
    EXPECT_EQ(options[2], "-D" + first.substr(0, kVmOptionsReadLimit - 2));
    EXPECT_EQ(options[3], "aatail");
    // 8190 characters and the line feed fit one read exactly.
    EXPECT_EQ(options[4], std::string(kVmOptionsReadLimit - 1, 'b'));
    EXPECT_EQ(options[5], "-Dnext");
}

TEST(VmOptionsFileReads, ALineOfExactly8191CharactersLeavesItsLineFeedForTheNextRead) {
    VmOptionsFile file(std::string(kVmOptionsReadLimit, 'x') + "\nz");
    EXPECT_EQ(file.readLine(), std::string(kVmOptionsReadLimit, 'x'));
    EXPECT_EQ(file.readLine(), "\n");
    EXPECT_EQ(file.readLine(), "z");
    EXPECT_EQ(file.readLine(), std::nullopt);
}

TEST_F(VmOptionsTest, TheShortNameWinsOverTheExeName) {
    vmoptions("-Dfrom=exe\n", "C:\\Apps\\Server\\server.exe.vmoptions");
    EXPECT_EQ(build()[2], "-Dfrom=exe");
    vmoptions("-Dfrom=short\n");
    const Options options = build();
    EXPECT_EQ(options, (Options{"-Dp1", "-Dp2", "-Dfrom=short", "-Djava.class.path="}));
}

TEST_F(VmOptionsTest, AFileOverOneMebibyteIsNotRead) {
    fake.env.put("KAVRIN_LOG", "yes");
    std::string big = "-Dbig=1\n";
    big += std::string(kMaxVmOptionsFileBytes - big.size(), '#');
    vmoptions(big);
    EXPECT_EQ(build()[2], "-Dbig=1");  // exactly 1 MiB is still read
    vmoptions(big + "#");
    EXPECT_EQ(build(), (Options{"-Dp1", "-Dp2", "-Djava.class.path="}));
    EXPECT_NE(fake.logText().find("ERROR: C:\\Apps\\Server\\server.vmoptions is larger than 1048576 bytes, not read\n"),
              std::string::npos);
}

TEST_F(VmOptionsTest, InitArgsRecordAndLogLines) {
    fake.env.put("KAVRIN_LOG", "yes");
    set(key::kVmParameters, "-Xrs");
    auto init = buildJvmInitArgs(ctx, config, launcherVariables(ctx, config, "", ""), {"-Dkavrin.isService=true"}, {});
    EXPECT_EQ(init->args.version, 0x10002);
    EXPECT_EQ(init->args.ignoreUnrecognized, JNI_TRUE);
    ASSERT_EQ(init->args.nOptions, 3);
    const char* expected[] = {"-Dkavrin.isService=true", "-Xrs", "-Djava.class.path="};
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(init->args.options[i].optionString, expected[i]);
        EXPECT_EQ(init->args.options[i].extraInfo, nullptr);
    }
    const std::string log = fake.logText();
    EXPECT_NE(log.find("vmoption count 3"), std::string::npos) << log;
    EXPECT_NE(log.find("vmoption 1: -Xrs"), std::string::npos) << log;
    EXPECT_NE(log.find("vmoption 2: -Djava.class.path="), std::string::npos) << log;
}

}  // namespace
}  // namespace kavrin
