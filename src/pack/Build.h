// `kavrin-pack build`: stub + configuration block + included files, written in
// one piece or not at all.
//
// Usage:
//   BuildRequest request{.project = "svc.toml", .output = "svc.exe", .stub = "kavrin-service.exe"};
//   BuildResult result = buildExecutable(request);
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kavrin::pack {

struct BuildRequest {
    std::filesystem::path project;
    std::optional<std::filesystem::path> output;  // default: the project file with ".exe"
    std::optional<std::filesystem::path> stub;    // default: findDefaultStub
    std::optional<std::filesystem::path> runtimeJar;
    std::filesystem::path builderDirectory;   // where kavrin-pack itself lives
    std::vector<std::string> classPath = {};  // see ProjectOptions
    std::vector<std::filesystem::path> includes = {};
};

struct BuildResult {
    std::filesystem::path output;
    std::filesystem::path stub;
    uint32_t blockOffset = 0;
    uint64_t blockSize = 0;
    uint64_t fileSize = 0;
    size_t includedFiles = 0;
    std::vector<std::string> warnings;
};

// Throws PackError: exit 1 for bad input, 2 for I/O failures.
BuildResult buildExecutable(const BuildRequest& request);

// kavrin-service.exe beside the builder, or in the windows build of the same tree.
std::optional<std::filesystem::path> findDefaultStub(const std::filesystem::path& builderDirectory);

// Largest executable the launcher can address: it reads offsets as signed 32-bit values.
inline constexpr uint64_t kMaxExecutableSize = 0x7FFFFFFF;

}  // namespace kavrin::pack
