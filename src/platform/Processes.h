// Child processes (CreateProcessA) for the java -version probe and unpack200.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kavrin {

struct SpawnOptions {
    // When set: a file created (CREATE_ALWAYS, read/write, shared read/write) whose
    // inheritable duplicate becomes the child's standard error; stdin/stdout none.
    std::optional<std::string> stderrFile;
    bool hideWindow = true;  // STARTF_USESHOWWINDOW + SW_HIDE
};

// A started child (RAII: process and thread handles closed in the destructor).
class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // WaitForSingleObject; timeoutMs == UINT32_MAX waits forever. True when it ended.
    virtual bool wait(uint32_t timeoutMs) = 0;
    // GetExitCodeProcess: 259 (STILL_ACTIVE) while running.
    virtual uint32_t exitCode() = 0;
    virtual void terminate(uint32_t code) = 0;
};

constexpr uint32_t kWaitForever = UINT32_MAX;

// A held named mutex, shared by every process on the machine (released by the destructor).
class NamedLock {
public:
    virtual ~NamedLock() = default;
};
constexpr uint32_t kStillActive = 259;

class Processes {
public:
    virtual ~Processes() = default;
    // CreateProcessA with no application name (the command line names the program),
    // inherited handles, NORMAL_PRIORITY_CLASS. nullptr when it could not start.
    virtual std::unique_ptr<ChildProcess> spawn(const std::string& commandLine, const SpawnOptions& options) = 0;
    virtual uint32_t currentProcessId() = 0;
    // CreateMutexA + wait; nullptr when it could not be had within timeoutMs.
    virtual std::unique_ptr<NamedLock> lockNamed(const std::string& name, uint32_t timeoutMs) = 0;
};

}  // namespace kavrin
