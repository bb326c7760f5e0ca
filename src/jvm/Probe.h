// Judging one java executable: does it exist, which version does it report, and
// does that version lie in the configured range. Reported versions are remembered
// per user in the registry, keyed by path and valid while the file time is unchanged.
//
// Usage:
//   std::string exe = home + "\\bin\\java.exe", version;
//   if (checkJavaExe(ctx, config, exe, version, "1.5", "", PreRelease::Refused)) ... // exe is now full and lower-cased
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "jvm/Version.h"

namespace kavrin {

inline constexpr const char* kVersionCacheKey = "SOFTWARE\\dalvenco\\kavrin\\jvms\\";
inline constexpr const char* kLastWriteTimeValue = "LastWriteTime";
inline constexpr const char* kVersionValue = "Version";
// Recorded for an executable that ran but ended with a non-zero code.
inline constexpr const char* kFailedRunVersion = "1.0.0";

enum class VersionCache { Skip, Use };
bool checkJavaExe(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                  const std::string& minimum, const std::string& maximum, PreRelease preRelease,
                  VersionCache versionCache = VersionCache::Use);
bool testJavaExe(Process& ctx, const Config& config, std::string& javaExe, const std::string& minimum,
                 const std::string& maximum, PreRelease preRelease, VersionCache versionCache);
bool findJavaExeInHome(Process& ctx, const Config& config, std::string& javaExe, const std::string& javaHome);
// The version the executable reports when run; nullopt when the run or its output fails.
std::optional<std::string> probeJavaVersion(Process& ctx, const Config& config, const std::string& javaExe,
                                            FileTime fileTime);

std::string versionCacheKeyName(const std::string& javaExe);
// The remembered version; nullopt when none is stored for this file time.
std::optional<std::string> readVersionCache(Process& ctx, const std::string& javaExe, FileTime fileTime);
void writeVersionCache(Process& ctx, const std::string& javaExe, FileTime fileTime, const std::string& version);

// Pure helpers, exposed for tests.
// The version of a first output line `java version "X"...`: X up to the closing quote.
// The modern rules also take `openjdk version "X"`.
std::optional<std::string> parseJavaVersionLine(const std::string& line, VersionRules rules = VersionRules::Classic);
// JAVA_VERSION="X" of a runtime's release file: X.
std::optional<std::string> releaseFileVersion(const std::string& content);
// Where the release file of a java executable's home may lie: home\release, and for
// the runtime inside a development kit (home\jre\bin\java.exe) the kit's own.
std::vector<std::string> releaseFileCandidates(const std::string& javaExe);
// The version a release file beside the executable gives (modern rules only).
std::optional<std::string> readReleaseVersion(Process& ctx, const std::string& javaExe);
// The first line of text-mode output as a 100-byte fgets buffer holds it (at most 99 characters).
std::string firstProbeLine(const std::string& rawOutput);
// "LastWriteTime" as stored: the 8 bytes of the file time, low half first.
std::string fileTimeBytes(FileTime time);
// The command line of the probe: the quoted executable path and " -version".
std::string probeCommandLine(const std::string& executable);

}  // namespace kavrin
