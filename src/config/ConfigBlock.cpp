#include "config/ConfigBlock.h"

#include <cstring>

#include "config/BlockParse.h"

namespace kavrin {

void appendLe32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void appendLe64(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string encodeConfigBlock(const ConfigBlock& block) {
    std::string out;
    appendLe32(out, kConfigMagic);
    appendLe32(out, static_cast<uint32_t>(block.narrow.size()));
    for (const auto& [key, value] : block.narrow) {
        if (value.size() > kMaxNarrowValueBytes)
            throw BlockError("value of key " + std::to_string(key) + " is longer than " +
                             std::to_string(kMaxNarrowValueBytes) + " bytes");
        appendLe32(out, static_cast<uint32_t>(key));
        appendLe32(out, static_cast<uint32_t>(value.size()));
        out += value;
    }
    appendLe32(out, static_cast<uint32_t>(block.wide.size()));
    for (const auto& [key, value] : block.wide) {
        if (value.size() > kMaxWideValueUnits)
            throw BlockError("wide value of key " + std::to_string(key) + " is longer than " +
                             std::to_string(kMaxWideValueUnits) + " units");
        appendLe32(out, static_cast<uint32_t>(key));
        appendLe32(out, static_cast<uint32_t>(value.size() * 2));
        for (char16_t unit : value) {
            out.push_back(static_cast<char>(unit & 0xFF));
            out.push_back(static_cast<char>(unit >> 8));
        }
    }
    return out;
}

void xorIncluded(char* data, size_t count) {
    for (size_t i = 0; i < count; ++i) data[i] = static_cast<char>(data[i] ^ static_cast<char>(kIncludedXor));
}

std::string encodeIncludedFile(std::string_view content) {
    std::string out;
    out.reserve(8 + content.size());
    appendLe64(out, content.size());
    const size_t start = out.size();
    out.append(content);
    xorIncluded(out.data() + start, content.size());
    return out;
}

namespace {

// Reads an image in memory with the launcher's error texts.
class MemorySource {
public:
    MemorySource(std::string_view image, size_t pos) : image_(image), pos_(pos) {}

    void seek(size_t pos) { pos_ = pos; }
    size_t position() const { return pos_; }

    uint32_t readRaw(size_t bytes, const char* error) {
        if (pos_ > image_.size() || image_.size() - pos_ < bytes) throw BlockError(error);
        uint32_t v = 0;
        for (size_t i = 0; i < bytes; ++i)
            v |= static_cast<uint32_t>(static_cast<uint8_t>(image_[pos_ + i])) << (8 * i);
        pos_ += bytes;
        return v;
    }
    int16_t readShort() { return static_cast<int16_t>(readRaw(2, "Internal Error: readShort")); }
    int32_t readInt() { return static_cast<int32_t>(readRaw(4, "Internal Error: readInt")); }

    std::string readBytes(int32_t length, const char* error) {
        if (pos_ > image_.size() || image_.size() - pos_ < static_cast<size_t>(length)) throw BlockError(error);
        std::string out(image_.substr(pos_, static_cast<size_t>(length)));
        pos_ += static_cast<size_t>(length);
        return out;
    }
    std::string readString() {
        const int32_t length = readInt();
        if (!detail::narrowLengthOk(length, kMaxNarrowValueBytes)) throw BlockError("Internal Error: readString");
        return readBytes(length, "Internal Error: readString");
    }
    std::u16string readWString() {
        const int32_t length = readInt();
        if (!detail::wideLengthOk(length, kMaxWideValueUnits)) throw BlockError("Internal Error: readWString");
        return detail::utf16FromLe(readBytes(length, "Internal Error: readWString"));
    }

private:
    std::string_view image_;
    size_t pos_;
};

}  // namespace

uint32_t blockOffsetFromPe(std::string_view image) {
    MemorySource src(image, 60);
    const int32_t pe = src.readInt();
    src.seek(static_cast<uint32_t>(pe) + 6u);
    const int32_t sections = src.readShort();
    src.seek(static_cast<uint32_t>(pe) + 20u);
    const int32_t optionalSize = src.readShort();
    const uint32_t lastHeader = static_cast<uint32_t>(pe + optionalSize + 40 * sections - 16);
    src.seek(lastHeader + 16u);
    const uint32_t rawSize = static_cast<uint32_t>(src.readInt());
    src.seek(lastHeader + 20u);
    const uint32_t rawOffset = static_cast<uint32_t>(src.readInt());
    return rawOffset + rawSize;
}

DecodedBlock decodeConfigBlock(std::string_view image, uint32_t offset) {
    MemorySource src(image, offset);
    if (static_cast<uint32_t>(src.readInt()) != kConfigMagic) throw BlockError("Internal Error: magic");
    DecodedBlock result;
    detail::parseTables(
        src, [&](int32_t key, std::string value) { result.block.narrow.emplace_back(key, std::move(value)); },
        [&](int32_t key, std::u16string value) { result.block.wide.emplace_back(key, std::move(value)); });
    result.endOffset = static_cast<uint32_t>(src.position());
    return result;
}

}  // namespace kavrin
