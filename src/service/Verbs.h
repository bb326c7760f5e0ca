// The service control verbs: each talks only to the service control manager,
// prints fixed English lines on standard output and returns the process exit code.
//
// Usage:
//   int code = installVerb(ctx, config, serviceName, scm::kStartAuto);
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/Config.h"
#include "diagnostics/Process.h"

namespace kavrin {

int installVerb(Process& ctx, const Config& config, const std::string& serviceName, uint32_t startType);
enum class Messages { Quiet, Print };
int uninstallVerb(Process& ctx, const std::string& serviceName, Messages messages);
int stopVerb(Process& ctx, const std::string& serviceName, Messages messages);
int startVerb(Process& ctx, const std::string& serviceName);
int statusVerb(Process& ctx, const std::string& serviceName);
// Gives an existing registration what -install would: this executable's path, quoted,
// and the description. For registrations made by others, such as an installer
// package's service table, which may store the path unquoted.
int configureVerb(Process& ctx, const Config& config, const std::string& serviceName);
// What -install sets beyond CreateServiceA's parameters (description, failure actions,
// delayed start, pre-shutdown timeout, event source); -configure applies the same to a
// registration made by someone else.
void applyServiceSettings(Process& ctx, const Config& config, const std::string& serviceName, ServiceHandle& service);
// The event log source of the service, with this executable as its message file.
void registerEventSource(Process& ctx, const std::string& serviceName);
bool waitForServiceStop(Process& ctx, ServiceHandle& service);

// key::kDependencies as CreateServiceA takes it: every name followed by a NUL, then one more
// NUL. Empty names (adjacent commas) are skipped. None when the key is empty.
std::optional<std::string> buildDependencyList(const Config& config);
std::optional<std::string> dependencyListFrom(const std::string& commaSeparated);

// The executable path as it is registered: in double quotes, so that a path with
// blanks cannot be taken for a shorter program plus arguments.
std::string quotedServicePath(const std::string& executablePath);

// Whether a registered command line starts our executable: quoted or not, compared
// without regard to case, and only up to the end of the path or a blank that starts
// arguments (so C:\app\svc.exe.bak is a different program than C:\app\svc.exe).
bool isOwnServiceCommand(const std::string& registered, const std::string& executablePath);

}  // namespace kavrin
