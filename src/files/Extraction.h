// Writing the files carried behind the configuration block into a new temporary directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"

namespace kavrin {

// What extraction made: the directory (empty when nothing is carried), the names
// written into it, and where the carried stream ended in the executable.
struct Extraction {
    std::string directory;
    std::vector<std::string> files;  // written there and held open, in extraction order
    int32_t unextractedPosition = 0;
};

// status: 0 success, 1 reading the executable failed, 2 writing a file failed.
struct ExtractionResult {
    int status = 0;
    Extraction extraction;
};
ExtractionResult extractIncludedFiles(Process& ctx, const Config& config);
int extractIncludedFile(Process& ctx, const Config& config, File& executable, const std::string& target);
int copyIncludedData(Process& ctx, File& executable, File& target, int64_t count);

// carriedNameProblem finds nothing: anything else could be written outside the extraction
// directory or under another name than the builder meant.
bool isSafeIncludedFileName(const std::string& name);

// tempDirectory\kvr<hex>.tmp_dir<number>: the two random parts in the name's usual shape.
std::string extractionDirectoryName(const std::string& tempDirectory, uint16_t hex, uint16_t number);

}  // namespace kavrin
