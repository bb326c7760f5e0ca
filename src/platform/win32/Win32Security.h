// Security descriptors, the cryptographic generator and named mutexes.
//
// Usage:
//   PrivateDescriptor descriptor = privateDirectoryDescriptor();
//   SECURITY_ATTRIBUTES sa{sizeof sa, descriptor.get(), FALSE};
#pragma once

#include "platform/win32/WindowsApi.h"

#include <memory>
#include <optional>
#include <string>

#include "platform/Processes.h"

namespace kavrin::win32 {

// The account the process runs as, as a SID string ("S-1-5-18" for LocalSystem).
std::optional<std::string> currentUserSid();

struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using PrivateDescriptor = std::unique_ptr<void, LocalFreeDeleter>;
// A directory only SYSTEM, Administrators and this process's account may use: protected
// (nothing inherited from the parent), inherited by what is created inside. Empty on failure.
PrivateDescriptor privateDirectoryDescriptor();

// Owned by and granting access only to those three (deny entries allowed); false when the
// descriptor cannot be read. Not required: the protected flag, which not every system
// reports back.
bool hasPrivateSecurity(const std::string& path);

bool secureRandomBytes(void* buffer, size_t size);

// CreateMutexA + WaitForSingleObject; an abandoned mutex counts as had.
std::unique_ptr<NamedLock> lockNamedMutex(const std::string& name, uint32_t timeoutMs);

}  // namespace kavrin::win32
