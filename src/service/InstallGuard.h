// -install replaces a registration only when it is this launcher's to replace.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "diagnostics/Process.h"

namespace kavrin {

// The program a registered command line starts, %VARIABLES% expanded: the quoted part,
// or the shortest prefix ending at a blank (or the end) that names an existing file.
// nullopt when neither can be told.
std::optional<std::string> registeredProgram(
    const std::string& commandLine, const std::function<std::optional<std::string>(const std::string&)>& variable,
    const std::function<bool(const std::string&)>& exists);

// The program the existing service NAME runs when it is someone else's: another existing
// executable that carries no configuration block. nullopt when -install may replace it
// (absent, this executable, a packed launcher, or a program that no longer exists).
std::optional<std::string> foreignServiceProgram(Process& ctx, const std::string& serviceName);

// Whether the file at path is a packed launcher: a PE image with a configuration block.
bool carriesConfigurationBlock(Process& ctx, const std::string& path);

}  // namespace kavrin
