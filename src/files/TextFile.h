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

// Pure: CR LF reads as LF, and a CTRL+Z ends the text.
std::string textModeContent(std::string_view raw);
// Pure: one fgets from position, up to and including the next LF and at most limit
// characters; moves position past it. nullopt at the end of the text.
std::optional<std::string> fgetsLine(std::string_view text, size_t& position, size_t limit);

}  // namespace kavrin
