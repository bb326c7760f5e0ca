// Settling on a Java runtime and loading its jvm.dll into the process.
#pragma once

#include <optional>
#include <string>

#include "config/Context.h"

namespace kavrin {

// Sets ctx.createJavaVM and ctx.jvmHome. Shows messages (without exiting) when showErrors.
bool LoadDLL(Context& ctx, bool showErrors, const std::optional<std::string>& location, bool locationIsJavaExe);

}  // namespace kavrin
