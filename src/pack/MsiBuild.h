// `kavrin-pack msi`: the packed executable and the files of [msi] in a Windows
// Installer package, written with wixl; or, with --wxs-only, the WiX source and the
// executable it names, for the WiX toolset. Nothing is written when a check fails.
//
// Usage:
//   MsiResult result = buildMsi({.project = "svc.toml", .output = "svc.msi", .builderDirectory = home});
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kavrin::pack {

struct MsiRequest {
    std::filesystem::path project;
    std::optional<std::filesystem::path> output;  // default: the project file with .msi (.wxs with wxsOnly)
    std::optional<std::filesystem::path> stub;
    std::optional<std::filesystem::path> runtimeJar;
    std::filesystem::path builderDirectory;
    std::vector<std::string> classPath = {};  // as for build
    std::vector<std::filesystem::path> includes = {};
    bool wxsOnly = false;
};

struct MsiResult {
    std::filesystem::path output;
    std::filesystem::path executable;  // with wxsOnly: written beside the source
    size_t files = 0;                  // installed besides the executable
    std::vector<std::string> warnings;
};

// Throws PackError: exit 1 for bad input, 2 for I/O failures (wixl's included).
MsiResult buildMsi(const MsiRequest& request);

}  // namespace kavrin::pack
