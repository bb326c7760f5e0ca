// The project file: what each setting writes into the block, the defaults, the
// fixed contract tables, and a precise refusal for every mistake.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "config/Keys.h"
#include "pack/Project.h"
#include "pack/Settings.h"

namespace kavrin::pack::test {
namespace {

using ::testing::HasSubstr;

class ProjectTest : public ::testing::Test {
protected:
    Project parse(const std::string& text) {
        writeText(dir / "p.toml", text);
        return loadProject(dir / "p.toml", {std::nullopt, dir / "bin"});
    }
    std::pair<int, std::string> failure(const std::string& text) {
        return refusalOf([&] { parse(text); });
    }
    // A message about p.toml as the builder prints it: with the file's directory.
    std::string inDir(const std::string& message) { return dir.path().string() + "/" + message; }
    void SetUp() override {
        writeText(dir / "bin" / "kavrin-runtime.jar", "PK");
        writeText(dir / "a.bin", "A");
        writeText(dir / "sub" / "b.jar", "B");
    }
    ScratchDir dir;
};

// The configuration the service launcher carries, launcher flavour "k".
TEST_F(ProjectTest, DefaultsAreTheServiceLaunchersConfiguration) {
    Project project = parse("[files]\nruntime = false\n");
    // clang-format off
    std::map<int32_t, std::string> expected{
        {102, "0"}, {103, "error.log"}, {104, "0"}, {105, "output.log"}, {106, "1"}, {107, "4"},
        {121, "S0lib;"}, {123, " -Xrs"}, {124, ""}, {125, "1"}, {126, "1.8"}, {127, ""},
        {128, "Bjre;Rjre;"}, {130, "0"}, {131, "0"}, {146, "."}, {149, ""}, {152, ""}, {3100, "modern"},
        {1000, "Error"},
        {1001, "No Java runtime in the accepted version range could be found.\nPlease install one or define "
               "KAVRIN_JAVA_HOME\nto point to an installed JDK or JRE.\nRun the program with -diagnose to see each "
               "runtime it found and why it was refused."},
        {1002, "The JVM found in your path is damaged.\nPlease reinstall or define KAVRIN_JAVA_HOME\nto point to "
               "an installed JDK or JRE."},
        {1003, "The {0} envionment variable does not\npoint to a working JDK or JRE."},
        {1004, "The JVM found at {0} is damaged.\nPlease reinstall or define KAVRIN_JAVA_HOME\nto point to an "
               "installed JDK or JRE."},
        {1005, "The JVM could not be started. The main method may have thrown an exception."},
        {1006, "File or directory {0} not found or empty\n"},
        {1007, "Wrong Parameter Usage"},
        {1008, "The environment variable {0} has to be defined"},
        {1009, "An internal error occurred (error code: {0})"},
        {1010, "Couldn't load main class."},
        {1011, "Main method not found."},
        {1012, "Error"}, {1013, "Ok"}, {1014, "An error occurred while starting up {0}:"},
        {2001, "k"}, {2002, "0"}, {2003, ""}, {3200, "0"}, {3201, "1"}, {3202, "logs"}, {3203, "10MB"},
        {3204, "5"}, {3300, "1"}, {10003, "..\\"}, {10004, ""}, {10005, "0"}};
    // clang-format on
    EXPECT_EQ(narrowMap(project.block), expected);
    ASSERT_EQ(project.block.wide.size(), 1u);
    EXPECT_EQ(project.block.wide[0], (std::pair<int32_t, std::u16string>{20017, u""}));
}

TEST_F(ProjectTest, WithoutDefaultsTheBlockHoldsExactlyWhatIsSet) {
    Project project = parse("[project]\ndefaults = false\n[raw]\n\"101\" = \"mysvc\"\n\"107\" = 4\n");
    EXPECT_EQ(narrowMap(project.block), (std::map<int32_t, std::string>{{101, "mysvc"}, {107, "4"}}));
    EXPECT_TRUE(project.block.wide.empty());
    EXPECT_TRUE(project.files.empty());
}

TEST_F(ProjectTest, NamedSettingsWriteTheirKeys) {
    Project project = parse(R"([project]
defaults = false
[service]
name = "svc"
description = "Dienst für Größen ✓"
dependencies = ["Tcpip", "Afd"]
[launcher]
type = 5
flavour = "m"
path-prepend = ['bin', 'C:\tools']
process-comm-file = true
[java]
main-class = "com.example.Main"
class-path = ['S0..\lib', 'A1app.jar', 'D0classes', 'E0EXTRA_CP']
route-j-arguments = false
[jvm]
search-sequence = ['B..\jre', 'EJAVA_HOME', 'S', 'Y', 'A\\srv\jre', 'Rjre']
allow-pre-release = true
[messages]
internal-error = "Fehler {0}"
)");
    // clang-format off
    std::map<int32_t, std::string> expected{
        {101, "svc"}, {149, "Tcpip,Afd"}, {107, "5"}, {2001, "m"}, {10004, "bin;C:\\tools"}, {10005, "1"},
        {122, "com.example.Main"}, {121, "S0..\\lib;A1app.jar;D0classes;E0EXTRA_CP;"}, {125, "0"},
        {128, "B..\\jre;EJAVA_HOME;S;Y;A\\\\srv\\jre;Rjre;"}, {130, "1"}, {1009, "Fehler {0}"}};
    // clang-format on
    EXPECT_EQ(narrowMap(project.block), expected);
    ASSERT_EQ(project.block.wide.size(), 1u);
    EXPECT_EQ(project.block.wide[0].second, u"Dienst f\u00fcr Gr\u00f6\u00dfen \u2713");
}

// (A raw entry repeating a named setting of the same file is refused, below.)
TEST_F(ProjectTest, RawValuesOverrideDefaults) {
    Project project = parse(
        "[jvm]\nmax-version = '1.6'\n[raw]\n\"126\" = '1.7'\n\"107\" = 1\n\"-5\" = 'negative key'\n"
        "[raw-wide]\n\"20017\" = 'wide'\n\"30000\" = 'other'\n[raw-hex]\n\"500\" = '00 ff 5c'\n"
        "[raw-wide-hex]\n\"30001\" = '00d8'\n[files]\nruntime = false\n");
    auto narrow = narrowMap(project.block);
    EXPECT_EQ(narrow[126], "1.7");
    EXPECT_EQ(narrow[127], "1.6");
    EXPECT_EQ(narrow[107], "1");
    EXPECT_EQ(narrow[-5], "negative key");
    EXPECT_EQ(narrow[500], std::string("\0\xff\x5c", 3));
    EXPECT_EQ(project.block.wide, (std::vector<std::pair<int32_t, std::u16string>>{
                                      {20017, u"wide"}, {30000, u"other"}, {30001, u"\xd800"}}));
}

TEST_F(ProjectTest, EntriesAreSortedByKeyAndWrittenOnce) {
    Project project = parse("[raw]\n\"999999\" = 'x'\n\"-1\" = 'y'\n[jvm]\nmin-version = '1.8'\n");
    for (size_t i = 1; i < project.block.narrow.size(); ++i)
        EXPECT_LT(project.block.narrow[i - 1].first, project.block.narrow[i].first);
    EXPECT_EQ(project.block.narrow.front().first, -1);
    EXPECT_EQ(project.block.narrow.back().first, 999999);
}

TEST_F(ProjectTest, IncludedFilesAreStoredUnderTheirBaseNamesInOrder) {
    Project project = parse("[project]\ndefaults = false\n[files]\ninclude = ['sub/b.jar', 'a.bin']\n");
    ASSERT_EQ(project.files.size(), 2u);
    EXPECT_EQ(project.files[0].name, "b.jar");
    EXPECT_EQ(project.files[1].name, "a.bin");
    EXPECT_EQ(project.files[0].source, dir / "sub/b.jar");
    EXPECT_EQ(narrowMap(project.block), (std::map<int32_t, std::string>{{2002, "2"}, {2003, "b.jar;a.bin"}}));
}

TEST_F(ProjectTest, AnApplicationProjectCarriesTheStartClassesLast) {
    Project project = parse("[java]\nmain-class = 'x.Main'\n[files]\ninclude = ['a.bin']\n");
    ASSERT_EQ(project.files.size(), 2u);
    EXPECT_EQ(project.files[1].name, "kavrin-runtime.jar");
    EXPECT_EQ(project.files[1].source, dir / "bin" / "kavrin-runtime.jar");
    EXPECT_EQ(narrowMap(project.block)[2003], "a.bin;kavrin-runtime.jar");

    writeText(dir / "custom" / "rt.jar", "PK2");
    project = parse("[java]\nmain-class = 'x.Main'\n[files]\nruntime-jar = 'custom/rt.jar'\n");
    ASSERT_EQ(project.files.size(), 1u);
    EXPECT_EQ(project.files[0].source, dir / "custom/rt.jar");
    EXPECT_EQ(project.files[0].name, "kavrin-runtime.jar");
}

// What a build tool adds on the command line (--class-path, --include).
TEST_F(ProjectTest, CommandLineClassPathAndFilesFollowTheFilesOwn) {
    struct Case {
        std::string text;
        std::string classPath;  // key 121 written
    } cases[] = {
        {"", "A1lib\\app.jar;A1lib\\dep.jar;"},  // replaces the default S0..\lib
        {"[java]\nclass-path = ['D0conf']\n", "D0conf;A1lib\\app.jar;A1lib\\dep.jar;"},
        {"[project]\ndefaults = false\n", "A1lib\\app.jar;A1lib\\dep.jar;"},
    };
    ProjectOptions options{std::nullopt, dir / "bin", {"A1lib\\app.jar", "A1lib\\dep.jar"}, {}};
    for (const auto& c : cases) {
        writeText(dir / "p.toml", c.text);
        EXPECT_EQ(narrowMap(loadProject(dir / "p.toml", options).block)[121], c.classPath) << c.text;
    }

    options.classPath.clear();
    options.includes = {dir / "sub" / "b.jar"};
    writeText(dir / "p.toml", "[java]\nmain-class = 'x.Main'\n[files]\ninclude = ['a.bin']\n");
    EXPECT_EQ(narrowMap(loadProject(dir / "p.toml", options).block)[2003], "a.bin;b.jar;kavrin-runtime.jar");

    auto refusal = [&](ProjectOptions bad) { return refusalOf([&] { loadProject(dir / "p.toml", bad); }).second; };
    EXPECT_THAT(refusal({std::nullopt, dir / "bin", {"Xlib"}, {}}),
                HasSubstr("--class-path: class path entry 'Xlib' has the type letter 'X'"));
    EXPECT_THAT(refusal({std::nullopt, dir / "bin", {}, {dir / "missing.jar"}}),
                HasSubstr("missing.jar': no such file"));
    EXPECT_THAT(refusal({std::nullopt, dir / "bin", {}, {dir / "a.bin"}}),
                HasSubstr("two included files would be stored as 'a.bin'"));
}

// Projects of raw keys (the tests' kind) carry exactly the files they list.
TEST_F(ProjectTest, WithoutANamedMainClassOnlyTheListedFilesAreCarried) {
    for (const char* text :
         {"[files]\ninclude = ['a.bin']\n", "[raw]\n\"122\" = 'x.Main'\n[files]\ninclude = ['a.bin']\n",
          "[project]\ndefaults = false\n[java]\nmain-class = 'x.Main'\n[files]\ninclude = ['a.bin']\n"}) {
        Project project = parse(text);
        ASSERT_EQ(project.files.size(), 1u) << text;
        EXPECT_EQ(narrowMap(project.block)[2002], "1") << text;
        EXPECT_EQ(narrowMap(project.block)[2003], "a.bin") << text;
    }
    EXPECT_EQ(parse("[java]\nmain-class = 'x.Main'\n[files]\nruntime = true\n").files.size(), 1u);
    EXPECT_EQ(parse("[java]\nmain-class = 'x.Main'\n[files]\nruntime = false\n").files.size(), 0u);
}

TEST_F(ProjectTest, RawCountAndNamesOverrideWhatTheFilesGive) {
    Project project = parse(
        "[project]\ndefaults = false\n[files]\ninclude = ['a.bin', 'sub/b.jar']\n"
        "[raw]\n\"2002\" = 1\n\"2003\" = 'a.bin;b.jar;c.txt'\n");
    EXPECT_EQ(project.files.size(), 2u);
    EXPECT_EQ(narrowMap(project.block), (std::map<int32_t, std::string>{{2002, "1"}, {2003, "a.bin;b.jar;c.txt"}}));
}

TEST_F(ProjectTest, NonAsciiNarrowTextIsWrittenAsUtf8WithAWarning) {
    Project project = parse("[java]\narguments = 'caf\u00e9'\n[service]\nname = 's'\n");
    EXPECT_EQ(narrowMap(project.block)[124], "caf\xc3\xa9");
    ASSERT_EQ(project.warnings.size(), 1u);
    EXPECT_THAT(project.warnings[0], HasSubstr("p.toml:2: warning: setting 'java.arguments': non-ASCII"));
}

TEST_F(ProjectTest, AMissingServiceNameIsWarnedAbout) {
    EXPECT_THAT(parse("").warnings, ::testing::ElementsAre(HasSubstr("no service name")));
    EXPECT_TRUE(parse("[service]\nname = 'x'\n").warnings.empty());
}

struct BadProject {
    const char* name;
    std::string text;
    std::string message;
};

void PrintTo(const BadProject& project, std::ostream* out) { *out << project.name; }

class BadProjectTest : public ProjectTest, public ::testing::WithParamInterface<BadProject> {};

TEST_P(BadProjectTest, IsRefusedNamingFileLineAndSetting) {
    auto [code, message] = failure(GetParam().text);
    EXPECT_EQ(code, kExitBadInput) << message;
    EXPECT_THAT(message, HasSubstr(GetParam().message));
}

const std::string kLong(8192, 'x');

INSTANTIATE_TEST_SUITE_P(
    Mistakes, BadProjectTest,
    ::testing::Values(
        BadProject{"Syntax", "[jvm]\nmin-version = \n", "p.toml:2:"},
        BadProject{"UnknownSetting", "[jvm]\nmin-versoin = '1.6'\n", "p.toml:2: unknown setting 'jvm.min-versoin'"},
        BadProject{"UnknownSection", "[service]\nname = 'x'\n[jvmm]\n", "p.toml:3: unknown section [jvmm]"},
        BadProject{"SettingOutsideASection", "name = 'x'\n", "p.toml:1: unknown setting 'name'"},
        BadProject{"UnknownProjectSetting", "[project]\nstub = 'x'\n", "p.toml:2: unknown setting 'project.stub'"},
        BadProject{"UnknownFilesSetting", "[files]\nincludes = []\n", "p.toml:2: unknown setting 'files.includes'"},
        BadProject{"StringExpected", "[jvm]\nmin-version = 16\n",
                   "p.toml:2: setting 'jvm.min-version': expected a string, got an integer"},
        BadProject{"BooleanExpected", "[jvm]\njdk-required = 1\n",
                   "p.toml:2: setting 'jvm.jdk-required': expected a boolean (true or false), got an integer"},
        BadProject{"IntegerExpected", "[launcher]\ntype = '4'\n",
                   "p.toml:2: setting 'launcher.type': expected an integer, got a string"},
        BadProject{"ArrayExpected", "[java]\nclass-path = 'S0lib;'\n",
                   "p.toml:2: setting 'java.class-path': expected an array of strings, got a string"},
        BadProject{
            "ArrayElementType", "[java]\nclass-path = [\n  'S0lib',\n  3,\n]\n",
            "p.toml:4: setting 'java.class-path': expected an array of strings, got an element that is an integer"},
        BadProject{"DefaultsType", "[project]\ndefaults = 'no'\n",
                   "p.toml:2: setting 'project.defaults': expected a boolean"},
        BadProject{"IntegerRange", "[launcher]\ntype = 4294967296\n",
                   "setting 'launcher.type': 4294967296 does not fit"},
        BadProject{
            "SearchLetter", "[jvm]\nsearch-sequence = [\n  'B..\\jre',\n  'Xfoo',\n]\n",
            "p.toml:4: setting 'jvm.search-sequence': search sequence entry 'Xfoo' has the unknown type letter 'X'"},
        BadProject{"SearchLowerCase", "[jvm]\nsearch-sequence = ['b..\\jre']\n", "unknown type letter 'b'"},
        BadProject{"SearchSeparator", "[jvm]\nsearch-sequence = ['B..\\jre;Rx']\n", "contains ';'"},
        BadProject{"SearchEmpty", "[jvm]\nsearch-sequence = ['']\n", "empty search sequence entry"},
        BadProject{"ClassPathLetter", "[java]\nclass-path = ['Q0lib']\n",
                   "p.toml:2: setting 'java.class-path': class path entry 'Q0lib' has the type letter 'Q'; expected A"},
        BadProject{"ClassPathFlag", "[java]\nclass-path = ['S2lib']\n", "has the flag '2'; expected 0 (optional) or 1"},
        BadProject{"ClassPathShort", "[java]\nclass-path = ['S']\n", "class path entry 'S' is too short"},
        BadProject{"ClassPathVariable", "[java]\nclass-path = ['E1']\n", "names no environment variable"},
        BadProject{"DependencyComma", "[service]\ndependencies = ['a,b']\n", "contains the separator ','"},
        BadProject{"DirectoryEmpty", "[launcher]\npath-prepend = ['']\n",
                   "setting 'launcher.path-prepend': empty directory"},
        BadProject{"Flavour", "[launcher]\nflavour = 'x'\n", "setting 'launcher.flavour': flavour 'x' is not"},
        BadProject{"TooLong", "[java]\narguments = '" + kLong + "'\n", "8192 bytes is longer than the 8191"},
        BadProject{"WideTooLong", "[service]\ndescription = '" + kLong + "'\n", "8192 UTF-16 units is longer"},
        BadProject{"SubdirectoryTooLong", "[jvm]\nlibrary-subdirectory = '" + std::string(200, 'h') + "'\n",
                   "longer than the 199 bytes"},
        BadProject{"RawKeyNotANumber", "[raw]\nabc = 1\n", "p.toml:2: [raw] key \"abc\": not a key number"},
        BadProject{"RawKeyTooLarge", "[raw]\n\"4294967296\" = 1\n", "not a key number"},
        BadProject{"RawBoolean", "[raw]\n\"101\" = true\n",
                   "p.toml:2: [raw] key \"101\": expected a string or an integer, got a boolean"},
        BadProject{"RawWideInteger", "[raw-wide]\n\"20017\" = 5\n", "expected a string, got an integer"},
        BadProject{"RawTwice", "[raw]\n\"101\" = 'a'\n[raw-hex]\n\"101\" = '61'\n",
                   "p.toml:4: [raw-hex] key \"101\": key 101 is set twice"},
        BadProject{"RawHexDigits", "[raw-hex]\n\"101\" = 'zz'\n", "expected hexadecimal bytes"},
        BadProject{"RawWideHexOdd", "[raw-wide-hex]\n\"20017\" = '00'\n", "an even number"},
        BadProject{"RawNul", "[raw]\n\"101\" = \"a\\u0000b\"\n", "contains a NUL character"},
        BadProject{"IncludeMissing", "[files]\ninclude = [\n  'a.bin',\n  'nothere.jar',\n]\n",
                   "p.toml:4: setting 'files.include': included file 'nothere.jar' does not exist"},
        BadProject{"IncludeDotDot", "[files]\ninclude = ['..']\n", "'..' cannot be carried: '..' is not a file name"},
        BadProject{"IncludeBackslash", "[files]\ninclude = ['sub\\\\b.jar']\n", "its name holds a path separator"},
        BadProject{"IncludeDriveColon", "[files]\ninclude = ['c:a.bin']\n", "its name holds a drive colon"},
        BadProject{"IncludeSemicolon", "[files]\ninclude = ['a;b.bin']\n", "its name holds ';'"},
        BadProject{"IncludeDevice", "[files]\ninclude = ['con.txt']\n", "is a Windows device name"},
        BadProject{"IncludeTrailingSlash", "[files]\ninclude = ['sub/']\n", "the name is empty"},
        BadProject{"IncludeSameName", "[files]\ninclude = ['sub/b.jar', 'sub/../sub/b.jar']\n",
                   "two included files would be stored as 'b.jar'"},
        BadProject{"IncludeRuntimeName",
                   "[java]\nmain-class = 'x.Main'\n[files]\ninclude = ['bin/kavrin-runtime.jar']\n",
                   "two included files would be stored as 'kavrin-runtime.jar'"},
        BadProject{"RuntimeMissing", "[files]\nruntime = true\nruntime-jar = 'gone.jar'\n",
                   "p.toml:3: setting 'files.runtime': the start classes"}),
    [](const auto& instance) { return std::string(instance.param.name); });

// What a new user gets wrong, caught when the project is built rather than when the
// service starts: each refusal and each warning once, verbatim.
TEST_F(ProjectTest, NewUserMistakesAreRefusedOrWarnedAbout) {
    // The start classes as built, so their real class-file version counts.
    fs::copy_file(fs::path(KAVRIN_PACK_EXE).parent_path() / "kavrin-runtime.jar", dir / "bin" / "kavrin-runtime.jar",
                  fs::copy_options::overwrite_existing);
    struct Case {
        const char* name;
        std::string text;
        std::string refusal;                // empty: the project is accepted
        std::vector<std::string> warnings;  // when accepted
    } cases[] = {
        // Refusals.
        {"MainClassMissing",
         "[service]\nname = 's'\n[files]\nruntime = true\n",
         "p.toml:4: setting 'java.main-class' is missing: the start classes are carried (files.runtime) and need the "
         "class to start; name it, or set files.runtime = false",
         {}},
        {"LauncherType",
         "[launcher]\ntype = 3\n",
         "p.toml:2: setting 'launcher.type': launcher type 3 is unknown to the launcher; use 4 (service), 1 (GUI) or 5 "
         "(console with message box)",
         {}},
        {"ServiceNameLong",
         "[service]\nname = '" + std::string(257, 'n') + "'\n",
         "p.toml:2: setting 'service.name': service name of 257 characters; the service manager takes at most 256",
         {}},
        {"ServiceNameSlash",
         "[service]\nname = 'a\\b'\n",
         "p.toml:2: setting 'service.name': service name 'a\\b' holds a slash, which the service manager refuses",
         {}},
        {"MainClassNotDotted",
         "[java]\nmain-class = 'com/example/Main'\n",
         "p.toml:2: setting 'java.main-class': main class 'com/example/Main' is not a dotted Java class name such as "
         "com.example.Main",
         {}},
        {"VmOptionsQuote",
         "[java]\nvm-options = '-Xmx1g \"-Dhome=C:\\My App'\n",
         "p.toml:2: setting 'java.vm-options': a quote in '-Xmx1g \"-Dhome=C:\\My App' has no closing partner; the "
         "launcher would stop with \"Wrong Parameter Usage\"",
         {}},
        {"ArgumentsQuote",
         "[java]\narguments = \"--name 'it\"\n",
         "p.toml:2: setting 'java.arguments': a quote in '--name 'it' has no closing partner; the launcher would stop "
         "with \"Wrong Parameter Usage\"",
         {}},
        {"RawRepeatsANamedSetting",
         "[java]\nmain-class = 'a.B'\n[raw]\n\"122\" = 'c.D'\n",
         "p.toml:4: [raw] key \"122\": key 122 is set by setting 'java.main-class' (line 2) too; keep one of the two",
         {}},
        {"RulesUnknown",
         "[jvm]\nrules = 'new'\n",
         "p.toml:2: setting 'jvm.rules': rules 'new' is neither \"modern\" nor \"classic\"",
         {}},
        {"ModernBoundIsNoVersion",
         "[jvm]\nmin-version = 'eleven'\n",
         "p.toml:2: setting 'jvm.min-version': 'eleven' is not a Java version such as 1.8 or 17.0.2",
         {}},
        // Warnings.
        {"ClassicBoundReadAsText",
         "[service]\nname = 's'\n[jvm]\nrules = 'classic'\nmin-version = '17'\n",
         "",
         {"p.toml:5: warning: rules = \"classic\" compares versions as text: min-version '17', max-version '' admit "
          "9.0.4; rules = \"modern\" compares them as numbers"}},
        {"MaximumBelowMinimum",
         "[service]\nname = 's'\n[jvm]\nmin-version = '11'\nmax-version = '1.8'\n",
         "",
         {"p.toml:5: warning: setting 'jvm.max-version': '1.8' is below min-version '11' read as numbers: no Java "
          "runtime fits both"}},
        {"ClassPathClimbs",
         "[service]\nname = 's'\n[java]\nclass-path = ['S0lib', 'S0..\\lib']\n",
         "",
         {"p.toml:4: warning: setting 'java.class-path': 'S0..\\lib' climbs above the executable's directory, where "
          "other users may be able to put files; keep it beside the executable"}},
        {"SearchClimbs",
         "[service]\nname = 's'\n[jvm]\nsearch-sequence = [\n  'Bjre',\n  'R%KAVRIN_EXEDIR%..\\jre',\n]\n",
         "",
         {"p.toml:6: warning: setting 'jvm.search-sequence': 'R%KAVRIN_EXEDIR%..\\jre' climbs above the executable's "
          "directory, where other users may be able to put files; keep it beside the executable"}},
        {"MinVersionBelowTheStartClasses",
         "[service]\nname = 's'\n[java]\nmain-class = 'a.B'\n[jvm]\nmin-version = '1.5'\n",
         "",
         {"p.toml:6: warning: setting 'jvm.min-version': '1.5' admits Java runtimes older than 1.8, but the start "
          "classes (kavrin-runtime.jar) need 1.8 (class-file version 52); set min-version = '1.8'"}},
        // Legal look-alikes stay quiet.
        {"Clean",
         "[service]\nname = 's'\n[launcher]\ntype = 1\n[java]\nmain-class = 'com.ex_1.$Main'\n"
         "class-path = ['S0lib\\..\\jars', 'A1C:\\app\\a.jar', 'E0CP', 'D0.\\classes']\n"
         "vm-options = \"'-Dx=a \\\"b' -Dy=\\\"c d\\\"\"\n"
         "[jvm]\nsearch-sequence = ['B\\\\srv\\jre', 'A%JAVA_HOME%\\..\\x', 'EJAVA_HOME', 'S', 'Y']\nmin-version = "
         "'11'\n",
         "",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.refusal.empty()) {
            std::vector<std::string> warnings;
            for (const auto& warning : c.warnings) warnings.push_back(inDir(warning));
            EXPECT_EQ(parse(c.text).warnings, warnings);
        } else {
            EXPECT_EQ(failure(c.text), std::make_pair(int(kExitBadInput), inDir(c.refusal)));
        }
    }
}

TEST_F(ProjectTest, MessagesForMistypedNamesAndBrokenSyntax) {
    struct Case {
        std::string text, message;
    } cases[] = {
        {"[java]\nmain-clas = 'a.B'\n", "p.toml:2: unknown setting 'java.main-clas'; did you mean `main-class`?"},
        {"[java]\nmin-version = '1.8'\n",
         "p.toml:2: unknown setting 'java.min-version'; did you mean `jvm.min-version`?"},
        {"[files]\nincludes = []\n", "p.toml:2: unknown setting 'files.includes'; did you mean `include`?"},
        {"[servce]\n", "p.toml:1: unknown section [servce]; did you mean `[service]`?"},
        {"[service]\nname = 'x\n",
         "p.toml:2:10: Error while parsing literal string: control characters other than TAB (U+0009) are explicitly "
         "prohibited"},
    };
    for (const Case& c : cases) EXPECT_EQ(failure(c.text).second, inDir(c.message));
}

TEST_F(ProjectTest, EveryCatalogueKeyHasANamedSettingOrIsWrittenFromTheFiles) {
    for (const auto& setting : allSettings()) {
        EXPECT_EQ(findSetting(setting.section, setting.name), &setting);
        EXPECT_EQ(findSettingByKey(setting.key, setting.kind == SettingKind::WideText), &setting);
    }
    EXPECT_EQ(findSettingByKey(key::kIncludedCount, false), nullptr);
    EXPECT_EQ(findSettingByKey(key::kServiceDescription, true)->name, "description");
}

}  // namespace
}  // namespace kavrin::pack::test
