// The kavrin-pack command line: help on every command, the exit codes, and no
// partial output on failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackTestSupport.h"

namespace kavrin::pack::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeStub(dir.path());
        writeText(dir / "app.jar", "PK app");
        writeText(dir / "p.toml", "[service]\nname = 'cli'\n[files]\nruntime = false\ninclude = ['app.jar']\n");
    }
    PackRun pack(const std::string& arguments) { return runPack(arguments, dir.path()); }
    std::string at(const std::string& name) { return "'" + (dir / name).string() + "'"; }
    std::vector<std::string> leftovers() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string().find(".tmp") != std::string::npos) names.push_back(entry.path());
        return names;
    }
    ScratchDir dir;
};

TEST_F(CliTest, EveryCommandHasHelp) {
    for (const char* command : {"", "build ", "inspect ", "init "}) {
        PackRun run = pack(std::string(command) + "--help");
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_THAT(run.out, HasSubstr("Usage:")) << command;
    }
    EXPECT_THAT(pack("build --help").out, HasSubstr("--stub"));
    EXPECT_THAT(pack("inspect --help").out, HasSubstr("--extract"));
    EXPECT_THAT(pack("init --help").out, HasSubstr("--main-class"));
}

TEST_F(CliTest, BuildThenInspect) {
    PackRun run = pack("build " + at("p.toml") + " -o " + at("svc.exe") + " --stub " + at("stub.exe"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("svc.exe"));
    EXPECT_THAT(run.out, HasSubstr("1 included file(s)"));
    run = pack("inspect " + at("svc.exe"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("[service]\nname = 'cli'  # key 101\n"));
    EXPECT_THAT(run.out, HasSubstr("'app.jar'"));
}

TEST_F(CliTest, TheOutputDefaultsToTheProjectNameWithExe) {
    PackRun run = pack("build " + at("p.toml") + " --stub " + at("stub.exe"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "p.exe"));
}

TEST_F(CliTest, BadInputExitsWithOneAndNamesTheProblem) {
    writeText(dir / "bad.toml", "[service]\nname = 'x'\n[jvm]\nsearch-sequence = ['Qx']\n");
    PackRun run = pack("build " + at("bad.toml") + " -o " + at("bad.exe") + " --stub " + at("stub.exe"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(
        run.err,
        HasSubstr(
            "bad.toml:4: setting 'jvm.search-sequence': search sequence entry 'Qx' has the unknown type letter 'Q'"));
    EXPECT_FALSE(fs::exists(dir / "bad.exe"));

    EXPECT_EQ(pack("build " + at("missing.toml") + " --stub " + at("stub.exe")).exitCode, 1);
}

TEST_F(CliTest, AnOutputThatWouldOverwriteTheStubIsRefused) {
    std::string stubBefore = readText(dir / "stub.exe");
    PackRun run = pack("build " + at("p.toml") + " -o " + at("stub.exe") + " --stub " + at("stub.exe"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("the output would overwrite the stub"));
    EXPECT_EQ(readText(dir / "stub.exe"), stubBefore);
}

TEST_F(CliTest, AnUnwritableOutputIsAnIoFailureAndLeavesNothing) {
    PackRun run = pack("build " + at("p.toml") + " -o " + at("no/such/dir/svc.exe") + " --stub " + at("stub.exe"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr("cannot create a file in"));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(CliTest, AFailedBuildKeepsTheOldOutput) {
    ASSERT_EQ(pack("build " + at("p.toml") + " -o " + at("svc.exe") + " --stub " + at("stub.exe")).exitCode, 0);
    std::string before = readText(dir / "svc.exe");
    writeText(dir / "p.toml", "[service]\nname = 'cli'\n[files]\nruntime = false\ninclude = ['gone.jar']\n");
    EXPECT_EQ(pack("build " + at("p.toml") + " -o " + at("svc.exe") + " --stub " + at("stub.exe")).exitCode, 1);
    EXPECT_EQ(readText(dir / "svc.exe"), before);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(CliTest, InitWritesAStarterThatBuilds) {
    PackRun run = pack("init --name hello --main-class com.example.Hello -o " + at("start.toml"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string text = readText(dir / "start.toml");
    EXPECT_THAT(text, HasSubstr("name = 'hello'"));
    EXPECT_THAT(text, HasSubstr("main-class = 'com.example.Hello'"));
    EXPECT_THAT(text, HasSubstr("#min-version = '1.8'"));
    EXPECT_THAT(text, HasSubstr("#class-path = ['S0lib']"));
    EXPECT_THAT(text, HasSubstr("#search-sequence = ['Bjre', 'Rjre']"));
    EXPECT_THAT(text, HasSubstr("docs/project-file.md"));
    EXPECT_THAT(text, Not(HasSubstr("[messages]")));  // the short scaffold: what a service needs
    writeText(dir / "bin" / "kavrin-runtime.jar", "PK");
    run = pack("build " + at("start.toml") + " --stub " + at("stub.exe") + " --runtime-jar " +
               at("bin/kavrin-runtime.jar"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;  // no warnings either

    run = pack("init --name hello --main-class com.example.Hello -o " + at("start.toml"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("exists already"));
    EXPECT_EQ(pack("init --name hello --main-class com.example.Hello -f -o " + at("start.toml")).exitCode, 0);
    EXPECT_EQ(pack("init --name 'a/b' --main-class x.Y").exitCode, 1);

    // --all lists every setting, and builds the same block.
    run = pack("init --all --name hello --main-class com.example.Hello -o " + at("all.toml"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(readText(dir / "all.toml"), HasSubstr("#startup-error = "));
    run = pack("build " + at("all.toml") + " --stub " + at("stub.exe") + " --runtime-jar " +
               at("bin/kavrin-runtime.jar"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readText(dir / "all.exe"), readText(dir / "start.exe"));
}

TEST_F(CliTest, CommandLineMessages) {
    struct Case {
        std::string arguments;
        int exitCode;
        std::string err;
    } cases[] = {
        {"biuld p.toml", 1, "kavrin-pack: unknown command 'biuld'; did you mean `build`?\n"},
        {"frobnicate", 1, "kavrin-pack: unknown command 'frobnicate' (commands: build, msi, inspect, init)\n"},
    };
    for (const Case& c : cases) {
        PackRun run = pack(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(run.err, c.err) << c.arguments;
    }
    // CLI11's errors and the builder's own carry the prefix.
    for (const std::string& arguments :
         std::vector<std::string>{"", "build", "build --frob p.toml", "init --name x", "inspect " + at("stub.exe")}) {
        PackRun run = pack(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments;
        EXPECT_THAT(run.err, ::testing::StartsWith("kavrin-pack: ")) << arguments;
    }
    PackRun run = pack("--version");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "kavrin-pack " KAVRIN_VERSION "\n");
}

TEST_F(CliTest, InspectCanWriteTheProjectAndTheFiles) {
    ASSERT_EQ(pack("build " + at("p.toml") + " -o " + at("svc.exe") + " --stub " + at("stub.exe")).exitCode, 0);
    PackRun run = pack("inspect " + at("svc.exe") + " -o " + at("back/svc.toml") + " --extract " + at("back/files"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readText(dir / "back/files/app.jar"), "PK app");
    EXPECT_THAT(readText(dir / "back/svc.toml"), HasSubstr("'files/app.jar'"));
    ASSERT_EQ(pack("build " + at("back/svc.toml") + " -o " + at("back/svc.exe") + " --stub " + at("stub.exe")).exitCode,
              0);
    EXPECT_EQ(readText(dir / "back/svc.exe"), readText(dir / "svc.exe"));
}

}  // namespace
}  // namespace kavrin::pack::test
