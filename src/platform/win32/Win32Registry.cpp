#include "platform/win32/Win32Registry.h"

#include "platform/win32/Handles.h"

namespace kavrin::win32 {
namespace {

HKEY rootKey(RegRoot root) { return root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

REGSAM accessMask(RegAccess access) {
    switch (access) {
    case RegAccess::Read: return KEY_READ;
    case RegAccess::ReadWrite: return KEY_READ | KEY_WRITE;
    case RegAccess::Read64: return KEY_READ | KEY_WOW64_64KEY;
    case RegAccess::All: break;
    }
    return KEY_ALL_ACCESS;
}

class Win32Key final : public RegKey {
public:
    explicit Win32Key(HKEY key) : key_(key) {}

    std::optional<RegValue> queryValue(const std::string& name, size_t maxBytes) override {
        // A buffer of exactly maxBytes: a larger value is ERROR_MORE_DATA, which callers
        // treat like a missing one.
        std::string buffer(maxBytes, '\0');
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(maxBytes);
        LONG rc =
            ::RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (rc != ERROR_SUCCESS || size > maxBytes) return std::nullopt;
        buffer.resize(size);
        return RegValue{type, std::move(buffer)};
    }

    bool setValue(const std::string& name, uint32_t type, const std::string& data) override {
        return ::RegSetValueExA(key_.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }

    std::optional<std::string> enumSubkey(uint32_t index) override {
        std::string name(256, '\0');  // key names hold at most 255 characters
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD size = static_cast<DWORD>(name.size());
            LONG rc = ::RegEnumKeyExA(key_.get(), index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_SUCCESS) {
                name.resize(size);
                return name;
            }
            if (rc != ERROR_MORE_DATA) return std::nullopt;
            name.resize(name.size() * 2);
        }
        return std::nullopt;
    }

private:
    UniqueKey key_;
};

}  // namespace

std::unique_ptr<RegKey> Win32Registry::createKey(RegRoot root, const std::string& path) {
    UniqueKey key;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(rootKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          key.put(), &disposition) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32Key>(key.release());
}

std::unique_ptr<RegKey> Win32Registry::openKey(RegRoot root, const std::string& path, RegAccess access) {
    UniqueKey key;
    if (::RegOpenKeyExA(rootKey(root), path.c_str(), 0, accessMask(access), key.put()) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32Key>(key.release());
}

bool Win32Registry::deleteKey(RegRoot root, const std::string& path) {
    return ::RegDeleteKeyA(rootKey(root), path.c_str()) == ERROR_SUCCESS;
}

}  // namespace kavrin::win32
