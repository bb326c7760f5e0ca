#include "pack/JarVersion.h"

#include <algorithm>
#include <cstdint>

namespace kavrin::pack {
namespace {

constexpr uint32_t kEndOfDirectory = 0x06054b50;
constexpr uint32_t kDirectoryEntry = 0x02014b50;
constexpr uint32_t kLocalHeader = 0x04034b50;

uint32_t le(std::string_view data, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data[at + i]);
    return value;
}

// The class-file major version of the stored entry whose local header is at `at`.
std::optional<int> storedClassVersion(std::string_view jar, size_t at) {
    if (at + 30 > jar.size() || le(jar, at, 4) != kLocalHeader) return std::nullopt;
    size_t content = at + 30 + le(jar, at + 26, 2) + le(jar, at + 28, 2);
    if (content + 8 > jar.size() || le(jar, content, 4) != 0xBEBAFECA) return std::nullopt;  // CAFEBABE
    return static_cast<int>(static_cast<unsigned char>(jar[content + 6]) << 8 |
                            static_cast<unsigned char>(jar[content + 7]));
}

}  // namespace

std::string javaVersionForClassFile(int major) {
    if (major <= 52) return "1." + std::to_string(std::max(major, 45) - 44);
    return std::to_string(major - 44);
}

std::optional<JavaRequirement> requiredJavaVersion(std::string_view jar) {
    if (jar.size() < 22) return std::nullopt;
    // The end record sits in the last 64 KB + 22 bytes (its comment is at most 65535 bytes).
    size_t end = jar.size() - 22;
    size_t lowest = jar.size() > 65557 ? jar.size() - 65557 : 0;
    while (le(jar, end, 4) != kEndOfDirectory) {
        if (end == lowest) return std::nullopt;
        --end;
    }
    size_t entries = le(jar, end + 10, 2);
    size_t at = le(jar, end + 16, 4);
    int highest = 0;
    for (size_t i = 0; i < entries && at + 46 <= jar.size() && le(jar, at, 4) == kDirectoryEntry; ++i) {
        size_t nameLength = le(jar, at + 28, 2);
        std::string_view name = jar.substr(at + 46, nameLength);
        bool stored = le(jar, at + 10, 2) == 0;
        if (stored && name.size() > 6 && name.substr(name.size() - 6) == ".class")
            if (auto major = storedClassVersion(jar, le(jar, at + 42, 4))) highest = std::max(highest, *major);
        at += 46 + nameLength + le(jar, at + 30, 2) + le(jar, at + 32, 2);
    }
    if (highest == 0) return std::nullopt;
    return JavaRequirement{highest, javaVersionForClassFile(highest)};
}

}  // namespace kavrin::pack
