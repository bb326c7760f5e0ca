// Composing the "-Djava.class.path=" option.
//
// Usage:
//   ClassPathSlots slots;                       // filled by classifyVmOption
//   std::string option = buildClassPathOption(ctx, config, vars, slots);
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "launch/Expand.h"

namespace kavrin {

// Set by "-classpath ", "-classpath/p " and "-classpath/a " options; a later
// setting of the same slot replaces the earlier one.
struct ClassPathSlots {
    std::optional<std::string> replacement;
    std::optional<std::string> prepended;
    std::optional<std::string> appended;
};

inline constexpr const char* kClassPathOptionPrefix = "-Djava.class.path=";
inline constexpr const char* kRuntimeArchive = ".molvex\\mvxruntime.jar";

std::string buildClassPathOption(Process& ctx, const Config& config, const LauncherVariables& vars,
                                 const ClassPathSlots& slots);
// Appends the entries of key::kClassPath. Fatal 1006 (mandatory entry yields nothing) or
// 1008 (mandatory variable undefined).
void appendConfiguredClassPath(Process& ctx, const Config& config, const LauncherVariables& vars,
                               std::string& classPath);
// The jar files, then the zip files, that extraction wrote: it knows them, so the
// directory is not searched again (and nothing put there by anyone else is taken).
void appendExtractedArchives(Process& ctx, std::string& classPath, const LauncherVariables& vars);
// Appends every DIR\*.EXT match; false (nothing added) when the directory does not exist.
bool appendArchives(Process& ctx, std::string& classPath, const std::string& directory, const std::string& extension);
// Names matching DIR\*.EXT in the order the file system lists them; directories included.
std::vector<std::string> listMatchingFiles(Process& ctx, const std::string& directory, const std::string& extension);

}  // namespace kavrin
