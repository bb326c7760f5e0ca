// Composing the "-Djava.class.path=" option.
//
// Usage:
//   ClassPathSlots slots;                       // filled by classifyVmOption
//   std::string option = buildClassPathOption(ctx, vars, slots);
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Context.h"
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

std::string buildClassPathOption(Context& ctx, const LauncherVariables& vars, const ClassPathSlots& slots);
// Appends the entries of key 121. Fatal 1006 (mandatory entry yields nothing) or
// 1008 (mandatory variable undefined).
void appendConfiguredClassPath(Context& ctx, const LauncherVariables& vars, std::string& classPath);
// Appends every DIR\*.EXT match; false (nothing added) when the directory does not exist.
bool appendArchives(Context& ctx, std::string& classPath, const std::string& directory, const std::string& extension);
// Names matching DIR\*.EXT in the order the file system lists them; directories included.
std::vector<std::string> listMatchingFiles(Context& ctx, const std::string& directory, const std::string& extension);

}  // namespace kavrin
