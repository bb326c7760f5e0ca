// Crafted PE32+ images for tests: just enough headers for the block locator and the
// builder's stub checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrin::test {

struct PeSection {
    uint32_t rawOffset;
    uint32_t rawSize;
};

struct PeOptions {
    std::vector<PeSection> sections{{0x200, 0x200}, {0x400, 0x200}};
    uint16_t machine = 0x8664;
    uint16_t optionalMagic = 0x20B;
    uint16_t subsystem = 3;  // console
    uint32_t symbolTable = 0;
    uint32_t symbolCount = 0;
    uint32_t securityOffset = 0;
    uint32_t securitySize = 0;
};

inline void putLe(std::string& image, size_t at, uint64_t value, int bytes) {
    if (image.size() < at + bytes) image.resize(at + bytes, '\0');
    for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The file ends exactly at the end of the furthest section's raw data.
inline std::string makePeImage(const PeOptions& o = {}) {
    constexpr uint32_t kPe = 0x80;
    constexpr uint16_t kOptionalSize = 240;
    std::string image(0x200, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    putLe(image, 60, kPe, 4);
    image.replace(kPe, 4, std::string("PE\0\0", 4));
    putLe(image, kPe + 4, o.machine, 2);
    putLe(image, kPe + 6, o.sections.size(), 2);
    putLe(image, kPe + 12, o.symbolTable, 4);
    putLe(image, kPe + 16, o.symbolCount, 4);
    putLe(image, kPe + 20, kOptionalSize, 2);
    const uint32_t opt = kPe + 24;
    putLe(image, opt, o.optionalMagic, 2);
    putLe(image, opt + 68, o.subsystem, 2);
    putLe(image, opt + 108, 16, 4);  // NumberOfRvaAndSizes
    putLe(image, opt + 112 + 4 * 8, o.securityOffset, 4);
    putLe(image, opt + 112 + 4 * 8 + 4, o.securitySize, 4);
    uint32_t end = 0x200;
    for (size_t i = 0; i < o.sections.size(); ++i) {
        const uint32_t h = opt + kOptionalSize + 40 * static_cast<uint32_t>(i);
        image.replace(h, 5, ".sec" + std::to_string(i % 10));
        putLe(image, h + 16, o.sections[i].rawSize, 4);
        putLe(image, h + 20, o.sections[i].rawOffset, 4);
        end = std::max(end, o.sections[i].rawOffset + o.sections[i].rawSize);
    }
    image.resize(end, '\0');
    for (const auto& s : o.sections)
        for (uint32_t b = 0; b < s.rawSize; ++b) image[s.rawOffset + b] = static_cast<char>(0x90);
    return image;
}

}  // namespace kavrin::test
