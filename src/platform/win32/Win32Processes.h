// Child processes through CreateProcessA.
#pragma once

#include "platform/Processes.h"

namespace kavrin::win32 {

class Win32Processes final : public Processes {
public:
    std::unique_ptr<ChildProcess> spawn(const std::string& commandLine, const SpawnOptions& options) override;
    uint32_t currentProcessId() override;
    std::unique_ptr<NamedLock> lockNamed(const std::string& name, uint32_t timeoutMs) override;
};

}  // namespace kavrin::win32
