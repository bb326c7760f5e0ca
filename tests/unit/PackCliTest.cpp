// The kavrin-pack command line: help on every command, the exit codes, and no
// partial output on failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackTestSupport.h"

namespace kavrin::pack::test {
namespace {

using ::testing::HasSubstr;

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
    EXPECT_THAT(run.err, HasSubstr("bad.toml:4: setting 'jvm.search-sequence': search sequence entry 'Qx' has the unknown type letter 'Q'"));
    EXPECT_FALSE(fs::exists(dir / "bad.exe"));

    EXPECT_EQ(pack("build").exitCode, 1);                      // no project
    EXPECT_EQ(pack("frobnicate").exitCode, 1);                 // no such command
    EXPECT_EQ(pack("build " + at("missing.toml") + " --stub " + at("stub.exe")).exitCode, 1);
    EXPECT_EQ(pack("inspect " + at("stub.exe")).exitCode, 1);  // carries no block
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
    EXPECT_THAT(text, HasSubstr("#min-version = '1.5'"));
    EXPECT_THAT(text, HasSubstr("#search-sequence = ['B..\\jre', 'R..\\jre']"));
    writeText(dir / "bin" / "kavrin-runtime.jar", "PK");
    run = pack("build " + at("start.toml") + " --stub " + at("stub.exe") + " --runtime-jar " + at("bin/kavrin-runtime.jar"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;  // no warnings either

    run = pack("init --name hello --main-class com.example.Hello -o " + at("start.toml"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("exists already"));
    EXPECT_EQ(pack("init --name hello --main-class com.example.Hello -f -o " + at("start.toml")).exitCode, 0);
    EXPECT_EQ(pack("init --name 'a/b' --main-class x.Y").exitCode, 1);
}

TEST_F(CliTest, InspectCanWriteTheProjectAndTheFiles) {
    ASSERT_EQ(pack("build " + at("p.toml") + " -o " + at("svc.exe") + " --stub " + at("stub.exe")).exitCode, 0);
    PackRun run = pack("inspect " + at("svc.exe") + " -o " + at("back/svc.toml") + " --extract " + at("back/files"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readText(dir / "back/files/app.jar"), "PK app");
    EXPECT_THAT(readText(dir / "back/svc.toml"), HasSubstr("'files/app.jar'"));
    ASSERT_EQ(pack("build " + at("back/svc.toml") + " -o " + at("back/svc.exe") + " --stub " + at("stub.exe")).exitCode, 0);
    EXPECT_EQ(readText(dir / "back/svc.exe"), readText(dir / "svc.exe"));
}

}  // namespace
}  // namespace kavrin::pack::test
