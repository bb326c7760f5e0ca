// `kavrin-pack inspect`: what a packed executable carries, printed back as a
// project file that `build` turns into the same block byte for byte.
//
// Usage:
//   Carried carried = readCarried(image, "svc.exe");
//   std::string toml = renderProject(carried, {});
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigBlock.h"

namespace kavrin::pack {

struct CarriedFile {
    std::string name;
    uint64_t offset = 0;  // of the content, after the length field
    int64_t length = 0;
    bool complete = true;  // false: the file ends before the content does
};

struct Carried {
    uint32_t blockOffset = 0;
    uint32_t endOffset = 0;  // first byte after the tables
    ConfigBlock block;
    std::vector<CarriedFile> files;  // the records the launcher would read
};

// Throws PackError (exit 1) when the file carries no readable block.
Carried readCarried(std::string_view image, const std::string& name);

struct RenderOptions {
    std::string source;  // the executable's name, for the header comment
    // Where the included files were extracted, and where the printed project file
    // will live (include paths are written relative to it).
    std::optional<std::filesystem::path> extractDirectory;
    std::filesystem::path projectDirectory = ".";
};

std::string renderProject(const Carried& carried, const RenderOptions& options);

// Writes the carried files into `directory` (created when missing). Throws PackError.
void extractCarried(std::string_view image, const Carried& carried, const std::filesystem::path& directory);

}  // namespace kavrin::pack
