// The narrow path of the launcher's own executable, the anchor of every relative path.
#pragma once

#include <string>

#include "diagnostics/Process.h"

namespace kavrin {

// Cached after the first call; falls back to the short (8.3) name when the ANSI
// code page cannot spell the long one.
const std::string& getExecutablePath(Process& ctx);

// Shrinks runs of backslashes (a leading UNC pair stays two), working in UTF-16 so a
// double-byte trail byte 0x5C is never taken for a backslash. Unchanged when the
// code page cannot represent the result.
void collapseBackslashes(Process& ctx, std::string& path);

bool isWindowsNT(Process& ctx);

// The file-API code page: ANSI when AreFileApisANSI, else OEM.
CodePage fileApiCodePage(Process& ctx);

}  // namespace kavrin
