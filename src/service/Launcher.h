// The process entry: configuration, environment, then a verb or the service dispatcher.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

// argumentText: the command line without the program name. Returns the exit code.
int launcherMain(Context& ctx, std::string argumentText);
void initLauncher(Context& ctx);
void prependConfiguredPath(Context& ctx);
// Strips the program name from a raw command line, as the C runtime's start-up does.
std::string argumentTextFromCommandLine(const std::string& commandLine);

}  // namespace kavrin
