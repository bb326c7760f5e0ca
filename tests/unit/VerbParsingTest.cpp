#include <gtest/gtest.h>

#include "service/Launcher.h"
#include "service/VerbParsing.h"

using namespace kavrin;

namespace {

struct VerbCase {
    const char* text;
    std::optional<Verb> verb;
    std::optional<std::string> name;
};

const VerbCase kVerbCases[] = {
    {"-install", Verb::Install, std::nullopt},
    {"/install", Verb::Install, std::nullopt},
    {"--install", Verb::Install, std::nullopt},
    {"/-install", Verb::Install, std::nullopt},
    {"-install-auto", Verb::InstallAuto, std::nullopt},
    {"-install-demand", Verb::InstallDemand, std::nullopt},
    {"-uninstall", Verb::Uninstall, std::nullopt},
    {"-stop x", Verb::Stop, "x"},
    {"-start", Verb::Start, std::nullopt},
    {"--status", Verb::Status, std::nullopt},
    {"-configure", Verb::Configure, std::nullopt},
    {"-diagnose", Verb::Diagnose, std::nullopt},
    {"/status", Verb::Status, std::nullopt},
    {"-run a \"b c\"", Verb::Run, "a \"b c\""},
    {"-help", Verb::Help, std::nullopt},
    {"--help", Verb::Help, std::nullopt},
    {"-?", Verb::Help, std::nullopt},
    {"/?", Verb::Help, std::nullopt},
    {"-Help", std::nullopt, std::nullopt},
    {"?", std::nullopt, std::nullopt},
    // The name is everything after the first blank, unchanged.
    {"-install My Service", Verb::Install, "My Service"},
    {"-install  two", Verb::Install, " two"},
    {"-install \"q s\" ", Verb::Install, "\"q s\" "},
    {"-install ", Verb::Install, std::nullopt},
    // Not verbs: case, extra dashes, other prefixes, partial or longer words, tabs.
    {"-Install", std::nullopt, std::nullopt},
    {"-Install x", std::nullopt, "x"},
    {"---install", std::nullopt, std::nullopt},
    {"-/install", std::nullopt, std::nullopt},
    {"//install", std::nullopt, std::nullopt},
    {"install", std::nullopt, std::nullopt},
    {"install x", std::nullopt, std::nullopt},
    {"-stat", std::nullopt, std::nullopt},
    {"-statusx", std::nullopt, std::nullopt},
    {"-install\tx", std::nullopt, std::nullopt},
    {"-", std::nullopt, std::nullopt},
    {"--", std::nullopt, std::nullopt},
    {"", std::nullopt, std::nullopt},
    {"- stop", std::nullopt, "stop"},
};

}  // namespace

TEST(VerbParsing, FollowsTheVerbTable) {
    for (const VerbCase& c : kVerbCases) {
        SCOPED_TRACE(c.text);
        VerbCommand command = parseVerb(c.text);
        EXPECT_EQ(command.verb, c.verb);
        EXPECT_EQ(command.serviceName, c.name);
    }
}

TEST(VerbParsing, TableKeepsTheMatchingOrderAndSpelling) {
    const char* expected[] = {"install",   "install-auto", "install-demand", "uninstall", "stop", "start", "status",
                              "configure", "run",          "help",           "diagnose"};
    for (size_t i = 0; i < 11; ++i) EXPECT_STREQ(kVerbTable[i].text, expected[i]);
}

TEST(ArgumentText, StripsTheProgramNameAsTheRuntimeDoes) {
    struct Case {
        const char* commandLine;
        const char* text;
    } cases[] = {
        {"\"C:\\Program Files\\App\\svc.exe\" -install", "-install"},
        {"C:\\App\\svc.exe -install My Service", "-install My Service"},
        {"svc.exe", ""},
        {"svc.exe \t  -status", "-status"},
        {"\"C:\\x.exe\"-status", "-status"},
        {"\"C:\\unterminated -install", ""},
        {"svc.exe  -install  a  b ", "-install  a  b "},
        {"", ""},
        {"svc.exe\x01\x1f-stop", "-stop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_EQ(argumentTextFromCommandLine(c.commandLine), c.text);
    }
}
