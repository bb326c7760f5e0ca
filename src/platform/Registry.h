// Registry access (advapi32), narrow names.
//
// Usage:
//   if (auto key = os.registry.openKey(RegRoot::CurrentUser, path, RegAccess::Read))
//       if (auto v = key->queryValue("Version", 8192)) ...
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kavrin {

enum class RegRoot { CurrentUser, LocalMachine };
// Read64: KEY_READ in the 64-bit view, whatever the process's own view.
enum class RegAccess { Read, ReadWrite, All, Read64 };

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

struct RegValue {
    uint32_t type = 0;
    std::string data;  // raw bytes exactly as the registry returned them
};

// An open key (RAII: RegCloseKey in the destructor).
class RegKey {
public:
    virtual ~RegKey() = default;
    // RegQueryValueExA into a buffer of maxBytes: nullopt when the value is missing,
    // unreadable or larger than the buffer (ERROR_MORE_DATA).
    virtual std::optional<RegValue> queryValue(const std::string& name, size_t maxBytes) = 0;
    // RegSetValueExA with exactly these bytes.
    virtual bool setValue(const std::string& name, uint32_t type, const std::string& data) = 0;
    // RegEnumKeyExA at index; nullopt when the enumeration reports no more items (or fails).
    virtual std::optional<std::string> enumSubkey(uint32_t index) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // RegCreateKeyExA (non-volatile, KEY_ALL_ACCESS); nullptr on failure.
    virtual std::unique_ptr<RegKey> createKey(RegRoot root, const std::string& path) = 0;
    // RegOpenKeyExA; nullptr when missing or not accessible.
    virtual std::unique_ptr<RegKey> openKey(RegRoot root, const std::string& path, RegAccess access) = 0;
    // RegDeleteKeyA of a key without subkeys; false when missing or refused.
    virtual bool deleteKey(RegRoot root, const std::string& path) {
        (void)root;
        (void)path;
        return false;
    }
};

}  // namespace kavrin
