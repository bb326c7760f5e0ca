// kavrin-pack msi: the [msi] settings, and the package wixl writes from them, read
// back with msiinfo (both from the Debian packages the build installs).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "pack/Msi.h"

namespace kavrin::pack::test {
namespace {

using ::testing::HasSubstr;

constexpr const char* kGoodMsi =
    "[msi]\nmanufacturer = 'Kavrin Example'\nversion = '1.2.3'\nupgrade-code = "
    "'6a3b1f0e-2f4c-4b8e-9a51-0c7d3e2b1a90'\n";

ServiceRegistration named(const std::string& name) {
    ServiceRegistration service;
    service.name = name;
    return service;
}

std::string problemOf(const ScratchDir& dir, const std::string& text, const ServiceRegistration& service) {
    return badInputRefusal([&] { readMsiSettings(text, dir / "svc.toml", service); });
}

// One table of rows: name, value [, value]... from `msiinfo export`.
std::vector<std::vector<std::string>> msiTable(const fs::path& package, const std::string& table,
                                               const fs::path& scratch) {
    fs::path out = scratch / (table + ".txt");
    std::string command = "msiinfo export '" + package.string() + "' " + table + " >'" + out.string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readText(out);
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(readText(out));
    std::string line;
    for (int skip = 0; std::getline(lines, line); ++skip) {
        if (skip < 3) continue;  // column names, types, table name and keys
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) row.push_back(field);
        if (!line.empty() && line.back() == '\t') row.emplace_back();
        rows.push_back(row);
    }
    return rows;
}

TEST(MsiSettings, MistakesNameTheFileTheLineAndTheSetting) {
    ScratchDir dir;
    writeText(dir / "lib" / "a.jar", "PK");
    struct Case {
        std::string text, message;
    };
    const std::string head = "[msi]\nmanufacturer = 'M'\nupgrade-code = '6a3b1f0e-2f4c-4b8e-9a51-0c7d3e2b1a90'\n";
    const Case cases[] = {
        {"[service]\nname = 'x'\n", "svc.toml:1: no [msi] table"},
        {"[msi]\nmanufacturer = 'M'\nversion = '1.0.0'\n", "svc.toml:1: setting 'msi.upgrade-code' is missing"},
        {head, "svc.toml:1: setting 'msi.version' is missing"},
        {head + "version = '1.2'\n", "svc.toml:4: setting 'msi.version': '1.2' is not major.minor.build"},
        {head + "version = '1.2.3.4'\n", "svc.toml:4: setting 'msi.version': '1.2.3.4' is not major.minor.build"},
        {head + "version = '1.x.3'\n", "is not major.minor.build"},
        {head + "version = '256.0.0'\n",
         "svc.toml:4: setting 'msi.version': '256.0.0': the major number is at most 255"},
        {head + "version = '1.0.65536'\n", "the build number is at most 65535"},
        {head + "version = 1\n", "svc.toml:4: setting 'msi.version': expected a string"},
        {"[msi]\nmanufacturer = 'M'\nversion = '1.0.0'\nupgrade-code = 'not-a-guid'\n",
         "svc.toml:4: setting 'msi.upgrade-code': 'not-a-guid' is not a GUID"},
        {"[msi]\nupgrade-code = '{00000000-0000-0000-0000-000000000000}'\n",
         "svc.toml:2: setting 'msi.upgrade-code': the null GUID"},
        {head + "version = '1.0.0'\nvendor = 'x'\n",
         "svc.toml:5: unknown setting 'msi.vendor' (settings of [msi]: product-name"},
        {head + "version = '1.0.0'\nfiles = ['lib/*.war']\n",
         "svc.toml:5: setting 'msi.files': 'lib/*.war' matches no file"},
        {head + "version = '1.0.0'\nfiles = [\n  'lib/a.jar',\n  '../x.jar']\n",
         "svc.toml:7: setting 'msi.files': '../x.jar' must name something below the project file's directory"},
        {head + "version = '1.0.0'\nfiles = ['/etc/passwd']\n", "must be relative to the project file"},
        {head + "version = '1.0.0'\nfiles = ['*/a.jar']\n", "wildcards are allowed in the file name only"},
        {head + "version = '1.0.0'\nfiles = ['lib/a.jar', 'lib/*.jar']\n", "'lib/a.jar' would be installed twice"},
        {head + "version = '1.0.0'\ndirectories = ['jre']\n",
         "svc.toml:5: setting 'msi.directories': directory 'jre' does not exist"},
        {head + "version = '1.0.0'\nproduct-name = 'a/b'\n",
         "svc.toml:1: setting 'msi.product-name': 'a/b' names the folder"},
        {head + "version = '1.0.0'\nproduct-name = 'Costs $(x)'\n",
         "svc.toml:5: setting 'msi.product-name': holds \"$(\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_THAT(problemOf(dir, c.text, named("svc")), HasSubstr(c.message));
    }
    ServiceRegistration user = named("svc");
    user.account = "CORP\\alice";
    user.accountNeedsPassword = true;
    EXPECT_THAT(problemOf(dir, std::string("[service]\nname = 'svc'\naccount = 'CORP\\alice'\n") + kGoodMsi, user),
                HasSubstr("svc.toml:3: setting 'service.account': 'CORP\\alice' needs a password"));
    EXPECT_THAT(problemOf(dir, std::string("[service]\n") + kGoodMsi, named("")),
                HasSubstr("svc.toml:1: setting 'service.name': the package registers the service under this name"));
}

TEST(MsiSettings, FilesAndDirectoriesKeepTheirPlaceRelativeToTheProject) {
    ScratchDir dir;
    for (const char* name : {"lib/b.jar", "lib/a.jar", "lib/notes.txt", "jre/bin/java.exe", "jre/release"})
        writeText(dir / name, "x");
    MsiSettings msi = readMsiSettings(std::string(kGoodMsi) + "files = ['lib/*.jar']\ndirectories = ['jre/']\n",
                                      dir / "svc.toml", named("Svc"));
    std::vector<std::string> names;
    for (const auto& file : msi.files) names.push_back(file.installName);
    EXPECT_EQ(names, (std::vector<std::string>{"jre/bin/java.exe", "jre/release", "lib/a.jar", "lib/b.jar"}));
    EXPECT_EQ(msi.files[2].source, dir / "lib" / "a.jar");
    EXPECT_EQ(msi.productName, "Svc");  // the service name unless set
    EXPECT_EQ(msi.executableName, "svc.exe");
    EXPECT_EQ(msi.upgradeCode, "6A3B1F0E-2F4C-4B8E-9A51-0C7D3E2B1A90");
}

TEST(MsiSettings, InitWritesAFreshValidUpgradeCode) {
    auto codeOf = [](const std::string& text) {
        size_t at = text.find("upgrade-code = '") + 16;
        return text.substr(at, text.find('\'', at) - at);
    };
    std::string first = codeOf(starterMsiSection("a")), second = codeOf(starterMsiSection("a"));
    EXPECT_EQ(upgradeCodeProblem(first), std::nullopt) << first;
    EXPECT_NE(first, second);
}

class MsiPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeStub(dir.path());
        writeText(dir / "lib" / "app.jar", "PK app");
        writeText(dir / "jre" / "bin" / "java.exe", "MZ");
    }
    PackRun pack(const std::string& arguments) { return runPack(arguments, dir.path()); }
    std::string at(const std::string& name) { return "'" + (dir / name).string() + "'"; }
    ScratchDir dir;
};

TEST_F(MsiPackageTest, ServiceTablesCarryTheProjectsValues) {
    writeText(
        dir / "hello.toml",
        "[service]\nname = 'HelloService'\ndescription = 'Says [hello] & costs $5'\ndependencies = ['Tcpip', 'Afd']\n"
        "[launcher]\ntype = 4\n[files]\nruntime = false\n" +
            std::string(kGoodMsi) + "product-name = 'Hello Service'\nfiles = ['lib/*.jar']\ndirectories = ['jre']\n");
    PackRun run = pack("msi " + at("hello.toml") + " -o " + at("hello.msi") + " --stub " + at("stub.exe"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("hello.msi: hello.exe and 2 more file(s)"));
    fs::path msi = dir / "hello.msi";

    auto services = msiTable(msi, "ServiceInstall", dir.path());
    ASSERT_EQ(services.size(), 1u);
    // Name, display name, type 0x110, auto-start, normal errors, dependencies, account,
    // and the description with its brackets escaped from property formatting.
    // clang-format off
    std::vector<std::string> expected{"Service", "HelloService", "HelloService", "272", "2", "1", "",
                                      "Tcpip[~]Afd[~][~]", "LocalSystem", "", "", "ServiceExe",
                                      "Says [\\[]hello[\\]] & costs $5"};
    // clang-format on
    EXPECT_EQ(services[0], expected);
    auto controls = msiTable(msi, "ServiceControl", dir.path());
    ASSERT_EQ(controls.size(), 1u);
    // Started at install, stopped at install and uninstall, removed at uninstall, waited for.
    EXPECT_EQ(controls[0], (std::vector<std::string>{"Service", "HelloService", "163", "", "1", "ServiceExe"}));

    auto actions = msiTable(msi, "CustomAction", dir.path());
    ASSERT_EQ(actions.size(), 1u);
    // Deferred, not impersonated, the installed executable with -configure.
    EXPECT_EQ(actions[0], (std::vector<std::string>{"KavrinConfigureService", "3090", "ServiceExe", "-configure", ""}));
    std::map<std::string, int> sequence;
    for (const auto& row : msiTable(msi, "InstallExecuteSequence", dir.path())) sequence[row[0]] = std::stoi(row[2]);
    EXPECT_LT(sequence.at("InstallServices"), sequence.at("KavrinConfigureService"));
    EXPECT_LT(sequence.at("KavrinConfigureService"), sequence.at("StartServices"));
    EXPECT_LT(sequence.at("RemoveExistingProducts"), sequence.at("InstallInitialize"));

    // The event log source, removed with the component on uninstall.
    std::vector<std::vector<std::string>> registry;
    for (auto row : msiTable(msi, "Registry", dir.path())) registry.push_back({row.begin() + 1, row.end()});
    const std::string source = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\HelloService";
    EXPECT_THAT(registry, ::testing::UnorderedElementsAre(
                              std::vector<std::string>{"2", source, "EventMessageFile", "[#ServiceExe]", "ServiceExe"},
                              std::vector<std::string>{"2", source, "TypesSupported", "#7", "ServiceExe"}));

    std::map<std::string, std::string> files, properties;
    for (const auto& row : msiTable(msi, "File", dir.path())) files[row[2]] = row[0];
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files["hello.exe"], "ServiceExe");
    // Named after their installed path, the same in every version of the package.
    EXPECT_THAT(files["app.jar"], ::testing::MatchesRegex("F[0-9A-F]{16}"));
    EXPECT_THAT(files["java.exe"], ::testing::MatchesRegex("F[0-9A-F]{16}"));
    for (const auto& row : msiTable(msi, "Property", dir.path())) properties[row[0]] = row[1];
    EXPECT_EQ(properties["ProductVersion"], "1.2.3");
    EXPECT_EQ(properties["Manufacturer"], "Kavrin Example");
    EXPECT_EQ(properties["ProductName"], "Hello Service");
    EXPECT_EQ(properties["ALLUSERS"], "1");
    std::map<std::string, std::pair<std::string, std::string>> directories;  // id: parent, name
    for (const auto& row : msiTable(msi, "Directory", dir.path())) directories[row[0]] = {row[1], row[2]};
    auto parentOf = [&](const std::string& name) {  // the parent's name, or its id for the system's folders
        for (const auto& [id, entry] : directories) {
            if (entry.second != name) continue;
            const std::string& parent = directories[entry.first].second;
            return parent == "." ? entry.first : parent;
        }
        return std::string("(none)");
    };
    EXPECT_EQ(parentOf("Kavrin Example"), "ProgramFiles64Folder");
    EXPECT_EQ(parentOf("Hello Service"), "Kavrin Example");
    EXPECT_EQ(parentOf("lib"), "Hello Service");
    EXPECT_EQ(parentOf("bin"), "jre");
    EXPECT_EQ(parentOf("logs"), "Hello Service");  // output capture's, removed when empty
}

// Display name, account and interactive bit as -install registers them.
TEST_F(MsiPackageTest, ServiceInstallTakesTheAccountAsInstallWould) {
    struct Case {
        std::string settings, displayName, type, account;
    };
    const Case cases[] = {
        {"display-name = 'Hello [Example]'\n", "Hello [\\[]Example[\\]]", "272", "LocalSystem"},
        {"account = 'NetworkService'\n", "Svc", "16", "NT AUTHORITY\\NetworkService"},
        {"account = 'virtual'\n", "Svc", "16", "NT SERVICE\\Svc"},
        {"account = 'CORP\\web$'\n", "Svc", "16", "CORP\\web$"},
        {"interactive = false\n", "Svc", "16", "LocalSystem"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        writeText(dir / "svc.toml", "[service]\nname = 'Svc'\n" + c.settings + "[files]\nruntime = false\n" + kGoodMsi);
        PackRun run = pack("msi " + at("svc.toml") + " -o " + at("svc.msi") + " --stub " + at("stub.exe"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        auto services = msiTable(dir / "svc.msi", "ServiceInstall", dir.path());
        ASSERT_EQ(services.size(), 1u);
        EXPECT_EQ(services[0][2], c.displayName);
        EXPECT_EQ(services[0][3], c.type);
        EXPECT_EQ(services[0][8], c.account);
    }
}

TEST_F(MsiPackageTest, BadSettingsWriteNothing) {
    writeText(dir / "bad.toml",
              "[service]\nname = 'x'\n[files]\nruntime = false\n[msi]\nmanufacturer = 'M'\n"
              "version = 'one'\nupgrade-code = '6a3b1f0e-2f4c-4b8e-9a51-0c7d3e2b1a90'\n");
    PackRun run = pack("msi " + at("bad.toml") + " -o " + at("bad.msi") + " --stub " + at("stub.exe"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("bad.toml:7: setting 'msi.version': 'one' is not major.minor.build"));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_THAT(entry.path().filename().string(),
                    ::testing::Not(::testing::AnyOf("bad.msi", "bad.exe", HasSubstr(".kavrin-msi"))));
}

TEST_F(MsiPackageTest, WxsOnlyWritesTheSourceAndTheExecutableItNames) {
    writeText(dir / "svc.toml", "[service]\nname = 'x'\n[files]\nruntime = false\n" + std::string(kGoodMsi));
    PackRun run = pack("msi " + at("svc.toml") + " --wxs-only --stub " + at("stub.exe"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("WiX toolset"));
    EXPECT_THAT(readText(dir / "svc.wxs"), HasSubstr("Source=\"svc.exe\""));  // relative to the source
    EXPECT_TRUE(fs::exists(dir / "svc.exe"));
}

}  // namespace
}  // namespace kavrin::pack::test
