// Small helpers shared by the win32 classes: UTF-16 casts and the
// "call again with the size it asked for" pattern of many Win32 text calls.
#pragma once

#include "platform/win32/WindowsApi.h"

#include <optional>
#include <string>

namespace kavrin::win32 {

inline const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string fromWide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// For calls that return the length written (without terminator) when the buffer
// was big enough, the size needed (with terminator) when it was not, and 0 on
// failure: GetFullPathName, Get{Short,Long}PathName, GetTempPath, GetEnvironmentVariable...
template <typename Char, typename Call>
std::optional<std::basic_string<Char>> callSized(Call call) {
    std::basic_string<Char> buffer(MAX_PATH + 1, Char());
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::nullopt;
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(n);
    }
    return std::nullopt;
}

// GetModuleFileName truncates instead of reporting the size it needs.
template <typename Char, typename Call>
std::basic_string<Char> callTruncating(Call call) {
    std::basic_string<Char> buffer(MAX_PATH + 1, Char());
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size() - 1) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace kavrin::win32
