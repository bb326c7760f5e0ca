// Variable expansion in configured texts.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

void expandVariables(Context& ctx, std::string& text);
void replaceAllOccurrences(std::string& text, const std::string& pattern, const std::string& value);

}  // namespace kavrin
