// Text helpers of the builder: UTF-8 and UTF-16, hexadecimal bytes, and TOML
// spelling of strings, so that `inspect` prints values `build` reads back as they were.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrin::pack {

bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);
// The input must be valid UTF-8 (TOML guarantees it).
std::u16string utf8ToUtf16(std::string_view text);
// None for a lone surrogate.
std::optional<std::string> utf16ToUtf8(std::u16string_view text);

std::string toHex(std::string_view bytes);
// None unless an even number of hex digits (blanks between bytes are allowed).
std::optional<std::string> fromHex(std::string_view text);
std::string utf16leBytes(std::u16string_view text);
std::u16string fromUtf16leBytes(std::string_view bytes);  // even length

// A TOML string spelling the text: literal '...' where that reads best, else
// "..." with escapes. None when TOML cannot carry it (not UTF-8, or a NUL).
std::optional<std::string> tomlString(std::string_view text);
// A bare TOML key where possible, else a quoted one.
std::string tomlKey(std::string_view key);

}  // namespace kavrin::pack
