// Java version rules. Versions are texts compared byte by byte, never parsed into
// numbers, so 1.10 orders below 1.5 and 1.6.0_10 below 1.6.0_9 — on purpose.
//
// Usage:
//   if (isJavaVersionAllowed(ctx, reported, minimum, maximum, false)) ...
//   if (compareJavaVersions(a, b) > 0) best = a;
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

// Byte order of the whole texts (unsigned bytes; a proper prefix orders first).
int compareJavaVersions(const std::string& a, const std::string& b);

// True when the version contains "beta", "ea" or "rc" (case-sensitive substring).
bool isPreReleaseVersion(const std::string& version);

// The version a runtime reports, against bounds compared over each bound's own length.
// Empty bounds set no limit. Pre-release versions fail unless allowPreRelease or key 130 is non-zero.
bool isJavaVersionAllowed(Context& ctx, const std::string& version, const std::string& minimum,
                          const std::string& maximum, bool allowPreRelease);

// A registry version name against the bounds, compared over the shorter length so a
// family name such as 1.5 fits a minimum of 1.5.0_06. No pre-release filter.
bool isRegistryVersionInRange(const std::string& version, const std::string& minimum, const std::string& maximum);

}  // namespace kavrin
