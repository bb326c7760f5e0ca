// The search for a Java runtime when none is handed to LoadDLL: the preferred
// location file, the configured search sequence (key::kSearchSequence), the flavour's
// Java-home variable, the installer location file, and a last fallback pass
// that asks only for an existing java executable.
//
// Usage:
//   std::string javaExe, name;
//   SearchKind kind = searchJvm(ctx, config, javaExe, name);
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"

namespace kavrin {

enum class SearchKind : int {
    None = 0,
    ExecutableSearch = 1,
    Location = 2,
    EnvironmentVariable = 3,
    Registry = 4,
};

inline constexpr const char* kPreferredLocationFile = "\\.molvex\\pref_jre.cfg";
inline constexpr const char* kInstallerLocationFile = "\\.molvex\\inst_jre.cfg";

SearchKind searchJvm(Process& ctx, const Config& config, std::string& javaExe, std::string& locationName);
// AnyVersion::Yes: only find the executable, test nothing.
enum class AnyVersion { No, Yes };
bool testLocation(Process& ctx, const Config& config, std::string& javaExe, const std::string& location,
                  const std::string& minimum, const std::string& maximum, AnyVersion anyVersion);
bool testJavaHomeVariable(Process& ctx, const Config& config, std::string& javaExe, const std::string& variable,
                          const std::string& minimum, const std::string& maximum);
bool testSearchPath(Process& ctx, const Config& config, std::string& javaExe, const std::string& minimum,
                    const std::string& maximum);
// The first line of the location file beside the executable; nullopt when it is missing or empty.
std::optional<std::string> readLocationFile(Process& ctx, const Config& config, const std::string& fileSuffix);

// Pure rules, exposed for tests.
struct SearchEntry {
    char type;
    std::string argument;
};
// Split at ";" with empty entries skipped; the first character is the type letter.
std::vector<SearchEntry> parseSearchSequence(const std::string& sequence);
// The fallback pass's own absolute test: "c:" anything, or two leading backslashes.
bool isAbsoluteForFallback(const std::string& argument);
// Whether the fallback pass tries this entry (A and R only with a relative argument, B always).
bool triedInFallback(const SearchEntry& entry);
// The first line of a text file as a text-mode read of at most 8191 characters
// gives it, without its trailing CR/LF; nullopt for an empty file.
std::optional<std::string> firstLocationLine(const std::string& raw);

}  // namespace kavrin
