// Plain value types shared by the platform interfaces and the logic.
#pragma once

#include <cstdint>
#include <string>

namespace kavrin {

// Win32 error codes the logic looks at. Kept here so the logic never needs <windows.h>.
namespace win32err {
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kFileExists = 80;
constexpr uint32_t kHandleEof = 38;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kInsufficientBuffer = 122;
constexpr uint32_t kMoreData = 234;
constexpr uint32_t kEnvvarNotFound = 203;
constexpr uint32_t kAlreadyExists = 183;
constexpr uint32_t kNoMoreItems = 259;
constexpr uint32_t kServiceAlreadyRunning = 1056;
constexpr uint32_t kServiceDoesNotExist = 1060;
constexpr uint32_t kServiceNotActive = 1062;
constexpr uint32_t kServiceMarkedForDelete = 1072;
constexpr uint32_t kServiceExists = 1073;
}  // namespace win32err

// FILETIME as one 64-bit number: 100 ns units since 1601-01-01 UTC.
// Its 8 bytes in memory (low half first) are what the version cache stores.
struct FileTime {
    uint64_t value = 0;
    bool operator==(const FileTime&) const = default;
};

// Code page selectors, as MultiByteToWideChar takes them.
enum class CodePage : uint32_t { Ansi = 0, Oem = 1 };

}  // namespace kavrin
