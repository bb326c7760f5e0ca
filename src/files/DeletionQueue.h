// Deleting at start what earlier runs queued in the registry.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

void processDeletionQueue(Context& ctx);

// Whether a queue entry is one this launcher makes: its own name shapes, directly in a
// temporary directory. Other entries stay in the list untouched.
enum class QueueKind { File, Directory };
bool isOwnQueueEntry(Context& ctx, const std::string& entry, QueueKind kind);
void emptyDirectory(Context& ctx, const std::string& directory);
bool canOpenExclusively(Context& ctx, const std::string& path);

}  // namespace kavrin
