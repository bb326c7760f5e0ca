// The temporary directory and temporary names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/Process.h"

namespace kavrin {

// Ends the process (the "Poweruser" message box, exit 1) when no directory is usable.
std::string getTempDirectory(Process& ctx);
bool isWritableDirectory(Process& ctx, const std::string& directory);
// Every directory getTempDirectory can answer: the system's temporary path, then the fallbacks.
std::vector<std::string> temporaryDirectoryCandidates(Process& ctx);
// Creates a new empty file "kvrXXXX.tmp" in the temporary directory and returns its name
// (empty, with an error logged, when the system could not create one).
std::string createTempFileName(Process& ctx);
std::string getProcessCommFileName(Process& ctx, uint32_t processId);

}  // namespace kavrin
