// Splitting command-line text and composing the main argument list.
//
// The launcher's own rules: spaces separate (tabs do not), double or single quotes
// group, backslashes are ordinary characters.
//
// Usage:
//   WideList args;
//   splitArguments(ctx, config, u"server -J-Xmx1g \"a b\"", args);   // server, -J-Xmx1g, a b
//   WideList mainArgs = buildMainArguments(ctx, config, vars, args);
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "launch/Expand.h"

namespace kavrin {

using WideList = std::vector<std::u16string>;
using NarrowList = std::vector<std::string>;

// The rule alone: the arguments, or none when a quote has no closing partner (the
// builder refuses such texts by this same rule).
std::optional<WideList> splitArgumentText(const std::u16string& text);
// Fatal (message 1007) on an unterminated quote.
void splitArguments(Process& ctx, const Config& config, const std::u16string& text, WideList& out);
// Appends the argument that starts at argStart and whose quoted part opens at
// quotePos; returns where splitting goes on. Fatal 1007 without a closing quote.
size_t takeQuotedArgument(Process& ctx, const Config& config, const std::u16string& text, WideList& out,
                          size_t quotePos, size_t argStart, char16_t quote);
void splitArgumentsNarrow(Process& ctx, const Config& config, const std::string& text, NarrowList& out);
WideList buildMainArguments(Process& ctx, const Config& config, const LauncherVariables& vars,
                            const WideList& launcherArguments);
void addStartClassParameters(Process& ctx, const Config& config, const LauncherVariables& vars,
                             WideList& mainArguments);

// True when the text starts with "-J" (case-sensitive).
bool isJvmArgument(const std::u16string& argument);

// The C runtime's "%S" conversions in the untouched "C" locale: a byte becomes the
// unit of the same value and back. Units above 255 have no byte; they become "?".
std::u16string widenBytes(const std::string& text);
std::string narrowUnits(const std::u16string& text);

}  // namespace kavrin
