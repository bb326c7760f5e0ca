// The byte format of the configuration block and of the included-files stream.
// One definition, used by the launcher (reading its own executable), the builder
// (writing) and `kavrin-pack inspect` (reading a file in memory).
//
// Block: magic D5 13 E4 E8, narrow count, narrow entries (key, byte length, ANSI
// bytes), wide count, wide entries (key, byte length, UTF-16LE bytes). All integers
// little-endian, signed 32-bit. Included files follow: per file an 8-byte signed
// length and the content XOR 0xA7.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavrin {

constexpr uint32_t kConfigMagic = 0xE8E413D5;
constexpr uint8_t kIncludedXor = 0xA7;

// Entries in stream order; a key may repeat (the reader keeps the last).
struct ConfigBlock {
    std::vector<std::pair<int32_t, std::string>> narrow;
    std::vector<std::pair<int32_t, std::u16string>> wide;
};

std::string encodeConfigBlock(const ConfigBlock& block);
// One included-file record: 8-byte length, then the content XOR 0xA7.
std::string encodeIncludedFile(std::string_view content);
void xorIncluded(char* data, size_t count);

void appendLe32(std::string& out, uint32_t value);
void appendLe64(std::string& out, uint64_t value);

// What a damaged image or block is reported as: the launcher's fixed texts.
struct BlockError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where the block starts in a PE image: PointerToRawData + SizeOfRawData of the
// header that comes last in the section table. Throws BlockError.
uint32_t blockOffsetFromPe(std::string_view image);

struct DecodedBlock {
    ConfigBlock block;
    uint32_t endOffset = 0;  // first byte after the wide table, relative to the image
};
// Decodes the block at offset (magic included). Throws BlockError with the
// launcher's texts ("Internal Error: magic", "Internal Error: readInt", ...).
DecodedBlock decodeConfigBlock(std::string_view image, uint32_t offset);

// Values longer than this are refused by reader and writer alike (8192-byte buffers).
constexpr size_t kMaxNarrowValueBytes = 8191;
constexpr size_t kMaxWideValueUnits = 8191;

}  // namespace kavrin
