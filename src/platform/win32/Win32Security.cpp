#include "platform/win32/Win32Security.h"

#include <sddl.h>
// RtlGenRandom is exported by advapi32 as SystemFunction036.
#include <ntsecapi.h>

#include <vector>

#include "platform/win32/Handles.h"

namespace kavrin::win32 {

namespace {

// The TOKEN_USER of this process; empty on failure.
std::vector<unsigned char> tokenUser() {
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<unsigned char> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}

}  // namespace

std::optional<std::string> currentUserSid() {
    const std::vector<unsigned char> user = tokenUser();
    if (user.empty()) return std::nullopt;
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &text))
        return std::nullopt;
    std::unique_ptr<char, LocalFreeDeleter> owned(text);
    return std::string(owned.get());
}

PrivateDescriptor privateDirectoryDescriptor() {
    // Built entry by entry: the text forms (a SID string, a descriptor parsed from text)
    // cost a start about a millisecond the first time a process uses them.
    const std::vector<unsigned char> user = tokenUser();
    if (user.empty()) return {};
    unsigned char system[SECURITY_MAX_SID_SIZE];
    unsigned char administrators[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    DWORD administratorsSize = sizeof administrators;
    if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) ||
        !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize))
        return {};
    const PSID sids[] = {system, administrators, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid};
    DWORD aclSize = sizeof(ACL);
    for (PSID sid : sids) aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid);
    // One block: the descriptor, then the list it points to.
    PrivateDescriptor block(::LocalAlloc(LPTR, sizeof(SECURITY_DESCRIPTOR) + aclSize));
    if (!block) return {};
    auto* descriptor = static_cast<PSECURITY_DESCRIPTOR>(block.get());
    auto* acl = reinterpret_cast<PACL>(static_cast<unsigned char*>(block.get()) + sizeof(SECURITY_DESCRIPTOR));
    if (!::InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::InitializeAcl(acl, aclSize, ACL_REVISION))
        return {};
    // Full control for SYSTEM, Administrators and this account, inherited by what is
    // created inside; protected, so nothing comes from the parent.
    for (PSID sid : sids)
        if (!::AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                     sid))
            return {};
    if (!::SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return {};
    return block;
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
