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

}  // namespace kavrin
