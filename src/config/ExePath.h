// The narrow path of the launcher's own executable, the anchor of every relative path.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

// Cached after the first call; falls back to the short (8.3) name when the ANSI
// code page cannot spell the long one.
const std::string& getExecutablePath(Context& ctx);

// Shrinks runs of backslashes (a leading UNC pair stays two), working in UTF-16 so a
// double-byte trail byte 0x5C is never taken for a backslash. Unchanged when the
// code page cannot represent the result.
void collapseBackslashes(Context& ctx, std::string& path);

bool isWindowsNT(Context& ctx);

// The file-API code page: ANSI when AreFileApisANSI, else OEM.
CodePage fileApiCodePage(Context& ctx);

}  // namespace kavrin
