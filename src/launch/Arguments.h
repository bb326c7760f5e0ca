// Splitting command-line text and composing the main argument list.
#pragma once

#include <string>
#include <vector>

#include "config/Context.h"

namespace kavrin {

using WideList = std::vector<std::u16string>;
using NarrowList = std::vector<std::string>;

// Fatal (message 1007) on an unterminated quote.
void splitArguments(Context& ctx, const std::u16string& text, WideList& out);
void splitArgumentsNarrow(Context& ctx, const std::string& text, NarrowList& out);
WideList buildMainArguments(Context& ctx, const WideList& launcherArguments);
void addStartClassParameters(Context& ctx, WideList& mainArguments);

}  // namespace kavrin
