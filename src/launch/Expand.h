// Variable expansion in configured texts.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

// Expansion never grows a text beyond this many bytes: values that hold further
// references (A=${B}${B}, B=${C}${C}, ...) could otherwise double it per variable.
// Far above the 8192-byte buffers of every caller, so no real text is affected.
constexpr size_t kMaxExpandedText = 65536;

void expandVariables(Context& ctx, std::string& text);
// Replaces occurrences left to right; one whose value would take the text past
// kMaxExpandedText is left as it is, and so is every later one. False when that happened.
bool replaceAllOccurrences(std::string& text, const std::string& pattern, const std::string& value);

}  // namespace kavrin
