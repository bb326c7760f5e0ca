// Unpacking a Java runtime shipped with packed jar files, in place, once.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

void preparePackedRuntime(Context& ctx, const std::string& javaHome);
void unpackArchive(Context& ctx, const std::string& javaHome, const std::string& archive);

}  // namespace kavrin
