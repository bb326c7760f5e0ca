// Deleting at start what earlier runs queued in the registry.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

void processDeletionQueue(Context& ctx);
void emptyDirectory(Context& ctx, const std::string& directory);
bool canOpenExclusively(Context& ctx, const std::string& path);

}  // namespace kavrin
