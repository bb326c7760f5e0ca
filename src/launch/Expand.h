// Variable expansion in configured texts.
#pragma once

#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"

namespace kavrin {

// Expansion never grows a text beyond this many bytes: values that hold further
// references (A=${B}${B}, B=${C}${C}, ...) could otherwise double it per variable.
// Far above the 8192-byte buffers of every caller, so no real text is affected.
constexpr size_t kMaxExpandedText = 65536;

// The launcher's own variables, fixed once the JVM is chosen and the files extracted.
struct LauncherVariables {
    std::string exeDirectory;         // with its trailing backslash
    std::string extractionDirectory;  // empty when nothing was extracted
    std::vector<std::string> extractedFiles;  // what extraction wrote there and holds open
    std::string jvmHome;
    char flavour = 0;
};
// The record for this process: the executable's directory and the configured flavour.
LauncherVariables launcherVariables(Process& ctx, const Config& config, std::string jvmHome,
                                    std::string extractionDirectory, std::vector<std::string> extractedFiles = {});

struct Expansion {
    std::string text;
    bool complete = true;  // false when a reference was left because of kMaxExpandedText
};
// Pure: the launcher variables first, then "${NAME}" (as is and upper-cased) for every
// "NAME=value" entry of the environment block.
Expansion expandVariables(const std::string& text, const LauncherVariables& variables,
                          const std::vector<std::string>& environment);
// expandVariables over the process environment, logging an incomplete expansion.
void expandInPlace(Process& ctx, const LauncherVariables& variables, std::string& text);
// Replaces occurrences left to right; one whose value would take the text past
// kMaxExpandedText is left as it is, and so is every later one. False when that happened.
bool replaceAllOccurrences(std::string& text, const std::string& pattern, const std::string& value);

}  // namespace kavrin
