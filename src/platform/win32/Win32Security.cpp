#include "platform/win32/Win32Security.h"

#include <sddl.h>
// RtlGenRandom is exported by advapi32 as SystemFunction036.
#include <ntsecapi.h>

#include <vector>

#include "platform/win32/Handles.h"

namespace kavrin::win32 {

std::optional<std::string> currentUserSid() {
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::nullopt;
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return std::nullopt;
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return std::nullopt;
    std::unique_ptr<char, LocalFreeDeleter> owned(text);
    return std::string(owned.get());
}

std::string privateDirectorySddl(const std::string& ownSid) {
    // FA: full control; OICI: files and folders created inside get the same.
    return "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + ownSid + ")";
}

PrivateDescriptor privateDirectoryDescriptor() {
    const std::optional<std::string> sid = currentUserSid();
    if (!sid) return {};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(privateDirectorySddl(*sid).c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return {};
    return PrivateDescriptor(descriptor);
}

bool secureRandomBytes(void* buffer, size_t size) {
    return size <= ULONG_MAX && RtlGenRandom(buffer, static_cast<ULONG>(size)) != FALSE;
}

namespace {

class Win32NamedLock final : public NamedLock {
public:
    explicit Win32NamedLock(UniqueKernelHandle mutex) : mutex_(std::move(mutex)) {}
    ~Win32NamedLock() override { ::ReleaseMutex(mutex_.get()); }

private:
    UniqueKernelHandle mutex_;
};

}  // namespace

std::unique_ptr<NamedLock> lockNamedMutex(const std::string& name, uint32_t timeoutMs) {
    UniqueKernelHandle mutex{::CreateMutexA(nullptr, FALSE, name.c_str())};
    if (!mutex) return nullptr;
    const DWORD wait = ::WaitForSingleObject(mutex.get(), timeoutMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return nullptr;
    return std::make_unique<Win32NamedLock>(std::move(mutex));
}

}  // namespace kavrin::win32
