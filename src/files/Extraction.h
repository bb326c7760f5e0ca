// Writing the files carried behind the configuration block into a new temporary directory.
#pragma once

#include <cstdint>
#include <string>

#include "config/Context.h"

namespace kavrin {

// 0 success, 1 reading the executable failed, 2 writing a file failed.
// Fills ctx.extractionDirectory and ctx.unextractedPosition.
int extractIncludedFiles(Context& ctx);
int extractIncludedFile(Context& ctx, File& executable, const std::string& target);
int copyIncludedData(Context& ctx, File& executable, File& target, int64_t count);

// A plain file name: no path separator, drive colon, "." or "..", nor a device name such
// as NUL or COM1. Anything else would be written outside the extraction directory.
bool isSafeIncludedFileName(const std::string& name);

}  // namespace kavrin
