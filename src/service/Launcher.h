// The process entry: configuration, environment, then a verb or the service dispatcher.
#pragma once

#include <functional>
#include <string>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "service/VerbParsing.h"

namespace kavrin {

// argumentText: the command line without the program name. Returns the exit code.
int launcherMain(Process& ctx, const Config& config, std::string argumentText);
void initLauncher(Process& ctx, const Config& config);
// First thing at start-up, before the configuration is read: a process the service
// manager started has no console and nobody sees its message boxes, so its errors go to
// the event log under the executable's name until the configuration names the service.
// Who started the process is asked only when there is an error to show.
void routeErrorsOfAServiceStart(Process& ctx);
void prependConfiguredPath(Process& ctx, const Config& config);
// Strips the program name from a raw command line, as the C runtime's start-up does.
std::string argumentTextFromCommandLine(const std::string& commandLine);

// Steps after initLauncher: the service name, then a verb or the no-verb path.
using NoVerbPath = std::function<int(Process&, const std::string& serviceName)>;
// -run: the text after the verb is the application's, so it gets the configured name.
using RunPath = NoVerbPath;
int dispatchCommand(Process& ctx, const Config& config, const std::string& argumentText, const NoVerbPath& noVerb,
                    const RunPath& run = nullptr);
int runVerb(Process& ctx, const Config& config, Verb verb, const std::string& serviceName);

// Longest value SetEnvironmentVariableA takes (32767 characters with the terminator).
constexpr size_t kMaxEnvironmentValue = 32766;

}  // namespace kavrin
