// Child processes with standard error redirected to a file, exit codes, time-outs.
#include "Win32TestSupport.h"

namespace kavrin::test {
namespace {

class ProcessTest : public Win32Test {
protected:
    std::string child(const std::string& args) { return "\"" + exeDirectory() + "kavrin-test-child.exe\" " + args; }
};

TEST_F(ProcessTest, StandardErrorGoesToTheFileAndTheExitCodeIsKept) {
    SpawnOptions options;
    options.stderrFile = scratch + "err.txt";
    auto process =
        os.processes.spawn(child("--stdout ignored --stderr \"java version \\\"1.8.0_20\\\"\" --exit 7"), options);
    ASSERT_TRUE(process);
    ASSERT_TRUE(process->wait(30000));
    EXPECT_EQ(process->exitCode(), 7u);
    // Only standard error lands in the file; standard output has nowhere to go.
    EXPECT_EQ(readFile(scratch + "err.txt"), "java version \"1.8.0_20\"");
}

TEST_F(ProcessTest, TheStderrFileIsReplacedAndReadableWhileTheChildRuns) {
    writeFile("err.txt", "old content that must go");
    SpawnOptions options;
    options.stderrFile = scratch + "err.txt";
    auto process = os.processes.spawn(child("--stderr early --sleep 3000"), options);
    ASSERT_TRUE(process);
    // Shared for reading and writing: the parent reads while the child holds it.
    std::string seen;
    for (int i = 0; i < 100 && seen != "early"; ++i) {
        os.clock.sleep(50);
        seen = readFile(scratch + "err.txt");
    }
    EXPECT_EQ(seen, "early");
    ASSERT_TRUE(process->wait(30000));
    EXPECT_EQ(process->exitCode(), 0u);
}

TEST_F(ProcessTest, AChildThatOutlivesTheWaitCanBeTerminated) {
    auto process = os.processes.spawn(child("--sleep 60000"), SpawnOptions{});
    ASSERT_TRUE(process);
    const uint32_t start = os.clock.tickCount();
    EXPECT_FALSE(process->wait(300));
    EXPECT_GE(os.clock.tickCount() - start, 250u);
    EXPECT_EQ(process->exitCode(), kStillActive);
    process->terminate(5);
    ASSERT_TRUE(process->wait(10000));
    EXPECT_EQ(process->exitCode(), 5u);
}

// The hook stands for the service's last status report: it must run however the
// process ends through ExitProcess, also when a foreign runtime calls it directly.
// Windows' loader calls the executable's TLS callbacks with DLL_PROCESS_DETACH;
// Wine's (8.0) does not, but both run the fiber-local callback of the thread that
// ends the process, so the hook runs under either.
TEST_F(ProcessTest, TheProcessEndHookRunsOnEveryExitProcess) {
    struct Case {
        const char* how;
        uint32_t code;
    };
    for (const Case& c : {Case{"--exit-process 3", 3}, Case{"--exit 4", 4}, Case{"--thread-exit-process 6", 6}}) {
        SCOPED_TRACE(c.how);
        std::string marker = scratch + "hook-" + std::to_string(c.code) + ".txt";
        auto process = os.processes.spawn(child("--process-end-hook \"" + marker + "\" " + c.how), SpawnOptions{});
        ASSERT_TRUE(process);
        ASSERT_TRUE(process->wait(30000));
        EXPECT_EQ(process->exitCode(), c.code);
        EXPECT_EQ(readFile(marker), "hook ran");
    }
    // TerminateProcess ends a process without running anything of it.
    std::string marker = scratch + "hook-terminated.txt";
    auto process = os.processes.spawn(child("--process-end-hook \"" + marker + "\" --sleep 60000"), SpawnOptions{});
    ASSERT_TRUE(process);
    os.clock.sleep(500);
    process->terminate(9);
    ASSERT_TRUE(process->wait(10000));
    EXPECT_FALSE(os.fs.findFirst(marker));
}

TEST_F(ProcessTest, AProgramThatCannotStartGivesNothing) {
    EXPECT_FALSE(os.processes.spawn("\"" + scratch + "absent.exe\" -version", SpawnOptions{}));
    SpawnOptions options;
    options.stderrFile = scratch + "absent-dir\\err.txt";
    EXPECT_FALSE(os.processes.spawn(child("--exit 0"), options));
}

}  // namespace
}  // namespace kavrin::test
