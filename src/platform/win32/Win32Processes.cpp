#include "platform/win32/Win32Processes.h"

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Security.h"

namespace kavrin::win32 {
namespace {

class Win32Child final : public ChildProcess {
public:
    Win32Child(HANDLE process, HANDLE thread) : process_(process), thread_(thread) {}

    bool wait(uint32_t timeoutMs) override {
        DWORD limit = timeoutMs == kWaitForever ? INFINITE : timeoutMs;
        return ::WaitForSingleObject(process_.get(), limit) == WAIT_OBJECT_0;
    }

    uint32_t exitCode() override {
        DWORD code = 0;
        if (!::GetExitCodeProcess(process_.get(), &code)) return kStillActive;
        return code;
    }

    void terminate(uint32_t code) override { ::TerminateProcess(process_.get(), code); }

private:
    UniqueKernelHandle process_;
    UniqueKernelHandle thread_;
};

// The child's standard error: a fresh file, shared for reading and writing so the
// parent can read it while the child runs, passed on as an inheritable duplicate.
UniqueKernelHandle openStderrFile(const std::string& path) {
    UniqueFile file{::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) return {};
    UniqueKernelHandle inheritable;
    HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, file.get(), self, inheritable.put(), 0, TRUE, DUPLICATE_SAME_ACCESS)) return {};
    return inheritable;
}

}  // namespace

std::unique_ptr<ChildProcess> Win32Processes::spawn(const std::string& commandLine, const SpawnOptions& options) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (options.hideWindow) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    UniqueKernelHandle stderrHandle;
    if (options.stderrFile) {
        stderrHandle = openStderrFile(*options.stderrFile);
        if (!stderrHandle) return nullptr;
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = nullptr;
        startup.hStdError = stderrHandle.get();
    }
    std::string mutableLine = commandLine;  // CreateProcessA may write into it
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                          &startup, &info))
        return nullptr;
    return std::make_unique<Win32Child>(info.hProcess, info.hThread);
}

uint32_t Win32Processes::currentProcessId() { return ::GetCurrentProcessId(); }

std::unique_ptr<NamedLock> Win32Processes::lockNamed(const std::string& name, uint32_t timeoutMs) {
    return lockNamedMutex(name, timeoutMs);
}

}  // namespace kavrin::win32
