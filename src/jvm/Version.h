// Java version rules, two sets. Classic: versions are texts compared byte by byte,
// never parsed into numbers, so 1.10 orders below 1.5 and 1.6.0_10 below 1.6.0_9 — on
// purpose, for blocks that rely on it. Modern (key::kJvmRules set to "modern"): versions are read
// as numbers the way current runtimes number themselves, 1.8.0_392 being 8.0.392.
//
// Usage:
//   if (isJavaVersionAllowed(ctx, config, reported, minimum, maximum, PreRelease::Refused)) ...
//   if (compareJavaVersions(versionRules(config), a, b) > 0) best = a;
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"

namespace kavrin {

enum class VersionRules { Classic, Modern };

// key::kJvmRules: "modern" selects the modern rules; no key or any other text the classic ones.
VersionRules versionRules(const Config& config);

// Byte order of the whole texts (unsigned bytes; a proper prefix orders first).
int compareJavaVersions(const std::string& a, const std::string& b);
// The order of the given rules. Under modern, a text that does not read as a version
// orders below every one that does.
int compareJavaVersions(VersionRules rules, const std::string& a, const std::string& b);

// True when the version contains "beta", "ea" or "rc" (case-sensitive substring).
bool isPreReleaseVersion(const std::string& version);

enum class PreRelease { Refused, Allowed };
enum class VersionVerdict { Allowed, PreRelease, BelowMinimum, AboveMaximum };
// Why a reported version is refused (or not), without logging. Checks in order: the
// pre-release filter, the minimum, the maximum.
VersionVerdict judgeJavaVersion(const Config& config, const std::string& version, const std::string& minimum,
                                const std::string& maximum, PreRelease preRelease);

// The bounds alone, by the given rules (no pre-release filter); pure, for the builder too.
VersionVerdict judgeVersionBounds(VersionRules rules, const std::string& version, const std::string& minimum,
                                  const std::string& maximum);

// The version a runtime reports, against the bounds. Classic compares over each bound's
// own length. Empty bounds set no limit. Pre-release versions fail unless
// PreRelease::Allowed or key::kAllowPreRelease is non-zero.
bool isJavaVersionAllowed(Process& ctx, const Config& config, const std::string& version, const std::string& minimum,
                          const std::string& maximum, PreRelease preRelease);

// A registry version name against the bounds, compared over the shorter length so a
// family name such as 1.5 fits a minimum of 1.5.0_06. No pre-release filter.
bool isRegistryVersionInRange(const std::string& version, const std::string& minimum, const std::string& maximum);
bool isRegistryVersionInRange(VersionRules rules, const std::string& version, const std::string& minimum,
                              const std::string& maximum);

// A version read as numbers: "1.8.0_392" is {8,0,392}, "21-ea" is {21} with the
// pre-release "ea", "11.0.21+9" is {11,0,21} with build 9. Missing numbers count as 0.
struct NumericVersion {
    std::vector<uint32_t> numbers;
    std::string preRelease;
    uint32_t build = 0;
};
std::optional<NumericVersion> parseNumericVersion(std::string_view text);
// Numbers first, then a pre-release below its release, then the build.
int compareNumericVersions(const NumericVersion& a, const NumericVersion& b);

}  // namespace kavrin
