#include "platform/win32/Win32Security.h"

#include <sddl.h>
// RtlGenRandom is exported by advapi32 as SystemFunction036.
#include <ntsecapi.h>

#include <array>
#include <vector>

#include "platform/win32/Handles.h"

namespace kavrin::win32 {

namespace {

// The TOKEN_USER of this process; empty on failure.
std::vector<unsigned char> tokenUser() {
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    // Room for the largest SID: one call, no asking for the size first (a server round
    // trip each under Wine, and every reused extraction asks).
    std::vector<unsigned char> buffer(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size))
        return {};
    return buffer;
}

// SYSTEM, Administrators and this process's account: the only ones a private directory
// lets in.
struct PrivateSids {
    std::vector<unsigned char> user;
    unsigned char system[SECURITY_MAX_SID_SIZE];
    unsigned char administrators[SECURITY_MAX_SID_SIZE];

    bool make() {
        user = tokenUser();
        DWORD systemSize = sizeof system;
        DWORD administratorsSize = sizeof administrators;
        return !user.empty() && ::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) &&
               ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize);
    }
    std::array<PSID, 3> all() {
        return {system, administrators, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid};
    }
    bool contains(PSID sid) {
        for (PSID own : all())
            if (::EqualSid(own, sid)) return true;
        return false;
    }
};

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
    PrivateSids own;
    if (!own.make()) return {};
    const std::array<PSID, 3> sids = own.all();
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

namespace {

// The owner and access list of `path`, through a handle and a buffer with room for any
// usual descriptor: the by-name call asks for the size first (one more server round trip
// under Wine, on every start that reuses an extraction). Empty on failure.
std::vector<unsigned char> ownerAndAccessList(const std::string& path) {
    const UniqueFile file{::CreateFileA(path.c_str(), READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (!file) return {};
    constexpr SECURITY_INFORMATION kWanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::vector<unsigned char> descriptor(1024);
    DWORD needed = 0;
    if (::GetKernelObjectSecurity(file.get(), kWanted, descriptor.data(), static_cast<DWORD>(descriptor.size()),
                                  &needed))
        return descriptor;
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= descriptor.size()) return {};
    descriptor.resize(needed);
    if (!::GetKernelObjectSecurity(file.get(), kWanted, descriptor.data(), needed, &needed)) return {};
    return descriptor;
}

}  // namespace

bool hasPrivateSecurity(const std::string& path) {
    PrivateSids own;
    if (!own.make()) return false;
    std::vector<unsigned char> descriptor = ownerAndAccessList(path);
    if (descriptor.empty()) return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL ownerDefaulted = FALSE;
    BOOL present = FALSE;
    BOOL daclDefaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor.data(), &owner, &ownerDefaulted) ||
        !::GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &daclDefaulted) || !present)
        return false;
    // No list at all lets everyone in.
    if (!owner || !dacl || !own.contains(owner)) return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;  // object and conditional kinds: not ours
        if (!own.contains(const_cast<DWORD*>(&static_cast<const ACCESS_ALLOWED_ACE*>(entry)->SidStart))) return false;
    }
    return true;
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
