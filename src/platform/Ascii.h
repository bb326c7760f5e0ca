// ASCII-only case rules: only A to Z and a to z change, whatever the code page, as
// the file system's and the C runtime's "C" locale compare them.
#pragma once

#include <string>
#include <string_view>

namespace kavrin {

constexpr char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

inline std::string lowerAscii(std::string text) {
    for (char& c : text) c = asciiLower(c);
    return text;
}

inline std::string upperAscii(std::string text) {
    for (char& c : text) c = asciiUpper(c);
    return text;
}

inline bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

inline bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && equalsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace kavrin
