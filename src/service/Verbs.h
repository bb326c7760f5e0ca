// The service control verbs: each talks only to the service control manager,
// prints fixed English lines on standard output and returns the process exit code.
//
// Usage:
//   int code = installVerb(ctx, scm::kStartAuto);
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/Context.h"

namespace kavrin {

int installVerb(Context& ctx, uint32_t startType);
int uninstallVerb(Context& ctx, bool messages);
int stopVerb(Context& ctx, bool messages);
int startVerb(Context& ctx);
int statusVerb(Context& ctx);
// Gives an existing registration what -install would: this executable's path, quoted,
// and the description. For registrations made by others, such as an installer
// package's service table, which may store the path unquoted.
int configureVerb(Context& ctx);
bool waitForServiceStop(Context& ctx, ServiceHandle& service);

// Key 149 as CreateServiceA takes it: every name followed by a NUL, then one more
// NUL. Empty names (adjacent commas) are skipped. None when the key is empty.
std::optional<std::string> buildDependencyList(const Context& ctx);
std::optional<std::string> dependencyListFrom(const std::string& commaSeparated);

// The executable path as it is registered: in double quotes, so that a path with
// blanks cannot be taken for a shorter program plus arguments.
std::string quotedServicePath(const std::string& executablePath);

// Whether a registered command line starts our executable: quoted or not, compared
// without regard to case, and only up to the end of the path or a blank that starts
// arguments (so C:\app\svc.exe.bak is a different program than C:\app\svc.exe).
bool isOwnServiceCommand(const std::string& registered, const std::string& executablePath);

}  // namespace kavrin
