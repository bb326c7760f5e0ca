// The table-reading loop shared by the launcher (reading its open executable, where a
// short read is fatal) and the in-memory decoder (where it throws). Source provides
// int32_t readInt(), std::string readString(), std::u16string readWString().
#pragma once

#include <cstdint>
#include <string>

namespace kavrin::detail {

template <class Source, class NarrowSink, class WideSink>
void parseTables(Source& source, NarrowSink&& narrow, WideSink&& wide) {
    const int32_t narrowCount = source.readInt();
    for (int32_t i = 0; i < narrowCount; ++i) {
        const int32_t key = source.readInt();
        narrow(key, source.readString());
    }
    const int32_t wideCount = source.readInt();
    for (int32_t i = 0; i < wideCount; ++i) {
        const int32_t key = source.readInt();
        wide(key, source.readWString());
    }
}

// A length field is usable when it is not negative, fits the caller's buffer and,
// for UTF-16, is even. Checked before anything is allocated.
inline bool narrowLengthOk(int32_t length, size_t maxBytes) {
    return length >= 0 && static_cast<size_t>(length) <= maxBytes;
}
inline bool wideLengthOk(int32_t length, size_t maxUnits) {
    return length >= 0 && length % 2 == 0 && static_cast<size_t>(length) / 2 <= maxUnits;
}

inline std::u16string utf16FromLe(const std::string& bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] =
            static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return out;
}

}  // namespace kavrin::detail
