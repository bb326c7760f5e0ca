// Deleting at start what earlier runs queued in the registry.
#pragma once

#include <string>
#include <vector>

#include "diagnostics/Process.h"

namespace kavrin {

void processDeletionQueue(Process& ctx);
// The directories of ours the queue lists, oldest first; a read-only look without the lock.
std::vector<std::string> queuedDirectories(Process& ctx);

// Whether a queue entry is one this launcher makes: its own name shapes, directly in a
// temporary directory. Other entries stay in the list untouched.
enum class QueueKind { File, Directory };
bool isOwnQueueEntry(Process& ctx, const std::string& entry, QueueKind kind);
void emptyDirectory(Process& ctx, const std::string& directory);
bool canOpenExclusively(Process& ctx, const std::string& path);

}  // namespace kavrin
