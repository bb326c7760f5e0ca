#include "pack/Text.h"

#include <cstdio>

namespace kavrin::pack {
namespace {

// Length of the UTF-8 sequence starting at text[i], 0 when it is malformed.
size_t utf8SequenceLength(std::string_view text, size_t i, char32_t& codePoint) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kMinimum[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        char32_t codePoint = 0;
        size_t length = utf8SequenceLength(text, i, codePoint);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        char32_t codePoint = 0;
        size_t length = utf8SequenceLength(text, i, codePoint);
        if (length == 0) {  // not reached for parsed TOML; keep going rather than loop
            codePoint = 0xFFFD;
            length = 1;
        }
        i += length;
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
            out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
        } else {
            out += static_cast<char16_t>(codePoint);
        }
    }
    return out;
}

std::optional<std::string> utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t codePoint = text[i];
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) {
            return std::nullopt;
        }
        if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            out += static_cast<char>(0xC0 | (codePoint >> 6));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            out += static_cast<char>(0xE0 | (codePoint >> 12));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (codePoint >> 18));
            out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }
    return out;
}

std::string toHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ' ';
        auto b = static_cast<unsigned char>(bytes[i]);
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

std::optional<std::string> fromHex(std::string_view text) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' && high < 0) continue;
        int value = digit(c);
        if (value < 0) return std::nullopt;
        if (high < 0) {
            high = value;
        } else {
            out += static_cast<char>((high << 4) | value);
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return out;
}

std::string utf16leBytes(std::u16string_view text) {
    std::string out;
    for (char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

std::u16string fromUtf16leBytes(std::string_view bytes) {
    std::u16string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

std::optional<std::string> tomlString(std::string_view text) {
    if (!isValidUtf8(text) || text.find('\0') != std::string_view::npos) return std::nullopt;
    bool literalOk = text.find('\'') == std::string_view::npos;
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\t') || b == 0x7F) literalOk = false;
    }
    // Backslashes are common in Windows paths; literal strings keep them readable.
    if (literalOk) return "'" + std::string(text) + "'";
    std::string out = "\"";
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (b < 0x20 || b == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", b);
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string tomlKey(std::string_view key) {
    bool bare = !key.empty();
    for (char c : key)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            bare = false;
    return bare ? std::string(key) : "\"" + std::string(key) + "\"";
}

}  // namespace kavrin::pack
