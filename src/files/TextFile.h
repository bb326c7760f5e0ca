// Reading files the way the C runtime's text mode (fopen "rt", fgets) sees them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "diagnostics/Process.h"

namespace kavrin {

// Up to maxBytes of the file's bytes as stored; nullopt when it cannot be opened.
std::optional<std::string> readFileBytes(Process& ctx, const std::string& path, size_t maxBytes);

// Bytes read line by line as fopen "rt" and fgets see them: CR LF reads as LF, a CTRL+Z
// ends the text, and a read into a buffer of lineLimit + 1 bytes stops after the next LF
// or after lineLimit characters, whichever comes first.
class TextModeReader {
public:
    TextModeReader(std::string_view raw, size_t lineLimit);
    // The next read, its LF included; nullopt at the end of the text.
    std::optional<std::string> readLine();

private:
    std::string text_;
    size_t position_ = 0;
    size_t lineLimit_;
};

}  // namespace kavrin
