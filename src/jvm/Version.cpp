#include "jvm/Version.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "config/Config.h"
#include "config/Keys.h"
#include "diagnostics/Log.h"

namespace kavrin {

namespace {

// strncmp over at most n bytes of each text (the end of a text orders below any byte).
int compareBytes(std::string_view a, std::string_view b, size_t n) {
    const std::string_view left = a.substr(0, std::min(n, a.size()));
    const std::string_view right = b.substr(0, std::min(n, b.size()));
    // string_view compares through char_traits<char>, which orders as unsigned bytes.
    return left.compare(right);
}

constexpr std::array<std::string_view, 3> kPreReleaseMarkers = {"beta", "ea", "rc"};

}  // namespace

int compareJavaVersions(const std::string& a, const std::string& b) {
    return compareBytes(a, b, std::max(a.size(), b.size()));
}

bool isPreReleaseVersion(const std::string& version) {
    return std::any_of(kPreReleaseMarkers.begin(), kPreReleaseMarkers.end(),
                       [&](std::string_view marker) { return version.find(marker) != std::string::npos; });
}

bool isJavaVersionAllowed(Context& ctx, const std::string& version, const std::string& minimum,
                          const std::string& maximum, bool allowPreRelease) {
    if (!allowPreRelease && getConfigInt(ctx, key::kAllowPreRelease) == 0 && isPreReleaseVersion(version)) {
        logInfo(ctx, "beta vm not allowed");
        return false;
    }
    if (compareBytes(version, minimum, minimum.size()) < 0) return false;
    if (compareBytes(version, maximum, maximum.size()) > 0) return false;
    return true;
}

bool isRegistryVersionInRange(const std::string& version, const std::string& minimum, const std::string& maximum) {
    if (compareBytes(version, minimum, std::min(version.size(), minimum.size())) < 0) return false;
    if (compareBytes(version, maximum, std::min(version.size(), maximum.size())) > 0) return false;
    return true;
}

}  // namespace kavrin
