#include "platform/win32/Win32Environment.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/Handles.h"

namespace kavrin::win32 {

std::optional<std::string> Win32Environment::get(const std::string& name) {
    std::string buffer(MAX_PATH + 1, '\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        // An empty variable also returns 0; only the error code tells it from a missing one.
        ::SetLastError(ERROR_SUCCESS);
        DWORD n = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(n);
    }
    return std::nullopt;
}

std::optional<std::string> Win32Environment::crtGet(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

bool Win32Environment::set(const std::string& name, const std::string& value) {
    return ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

bool Win32Environment::crtPut(const std::string& assignment) { return ::_putenv(assignment.c_str()) == 0; }

std::optional<std::vector<std::string>> Win32Environment::block() {
    UniqueEnvironmentBlock strings{::GetEnvironmentStringsA()};
    if (!strings) return std::nullopt;
    std::vector<std::string> entries;
    for (const char* entry = strings.get(); *entry; entry += std::strlen(entry) + 1) entries.emplace_back(entry);
    return entries;
}

}  // namespace kavrin::win32
