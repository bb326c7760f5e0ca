#include "jvm/Version.h"

#include <algorithm>
#include <array>
#include <charconv>

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

int sign(long long value) { return (value > 0) - (value < 0); }

std::optional<uint32_t> parseNumber(std::string_view text) {
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Leading digits of text as a number ("9-LTS" gives 9); 0 without any.
uint32_t leadingNumber(std::string_view text) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    return parseNumber(text.substr(0, digits)).value_or(0);
}

uint32_t numberAt(const NumericVersion& v, size_t i) { return i < v.numbers.size() ? v.numbers[i] : 0; }

// The first `count` numbers of a and b, missing ones as 0.
int comparePrefix(const NumericVersion& a, const NumericVersion& b, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (numberAt(a, i) != numberAt(b, i)) return numberAt(a, i) < numberAt(b, i) ? -1 : 1;
    return 0;
}

int comparePreRelease(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return sign(static_cast<long long>(b.size() > 0) - (a.size() > 0));
    auto numberA = parseNumber(a), numberB = parseNumber(b);
    if (numberA && numberB) return sign(static_cast<long long>(*numberA) - *numberB);
    return sign(a.compare(b));
}

// A maximum names a family as far as it goes: "17" admits 17.0.10, "17.0.5" does not.
// Only a maximum that names a pre-release or build is compared in full.
bool atMostMaximum(const NumericVersion& version, const NumericVersion& maximum) {
    int prefix = comparePrefix(version, maximum, maximum.numbers.size());
    if (prefix != 0) return prefix < 0;
    if (maximum.preRelease.empty() && maximum.build == 0) return true;
    return compareNumericVersions(version, maximum) <= 0;
}

VersionVerdict judgeModern(const std::string& version, const std::string& minimum, const std::string& maximum) {
    auto parsed = parseNumericVersion(version);
    if (!minimum.empty()) {
        auto bound = parseNumericVersion(minimum);
        if (!parsed || !bound || compareNumericVersions(*parsed, *bound) < 0) return VersionVerdict::BelowMinimum;
    }
    if (!maximum.empty()) {
        auto bound = parseNumericVersion(maximum);
        if (!parsed || !bound || !atMostMaximum(*parsed, *bound)) return VersionVerdict::AboveMaximum;
    }
    return VersionVerdict::Allowed;
}

VersionVerdict judgeClassic(const std::string& version, const std::string& minimum, const std::string& maximum) {
    if (compareBytes(version, minimum, minimum.size()) < 0) return VersionVerdict::BelowMinimum;
    if (compareBytes(version, maximum, maximum.size()) > 0) return VersionVerdict::AboveMaximum;
    return VersionVerdict::Allowed;
}

}  // namespace

VersionRules versionRules(const Config& config) {
    return getConfigString(config, key::kJvmRules) == "modern" ? VersionRules::Modern : VersionRules::Classic;
}

std::optional<NumericVersion> parseNumericVersion(std::string_view text) {
    NumericVersion version;
    std::string_view main = text.substr(0, text.find('+'));
    if (main.size() < text.size()) version.build = leadingNumber(text.substr(main.size() + 1));
    size_t dash = main.find('-');
    std::string_view numbers = main.substr(0, dash);
    if (dash != std::string_view::npos) version.preRelease = std::string(main.substr(dash + 1));

    // Before 9 the update came after "_": 1.8.0_392.
    for (size_t start = 0; start <= numbers.size();) {
        size_t end = std::min(numbers.find_first_of("._", start), numbers.size());
        auto number = parseNumber(numbers.substr(start, end - start));
        if (!number) return std::nullopt;
        version.numbers.push_back(*number);
        start = end + 1;
    }
    if (version.numbers.size() >= 2 && version.numbers[0] == 1) {
        version.numbers.erase(version.numbers.begin());  // 1.8 is 8
        // 1.8.0_392-b08: the old form's build, not a pre-release.
        const std::string& pre = version.preRelease;
        if (pre.size() > 1 && pre[0] == 'b' && parseNumber(std::string_view(pre).substr(1))) {
            version.build = leadingNumber(std::string_view(pre).substr(1));
            version.preRelease.clear();
        }
    }
    return version;
}

int compareNumericVersions(const NumericVersion& a, const NumericVersion& b) {
    if (int numbers = comparePrefix(a, b, std::max(a.numbers.size(), b.numbers.size()))) return numbers;
    if (int pre = comparePreRelease(a.preRelease, b.preRelease)) return pre;
    return sign(static_cast<long long>(a.build) - b.build);
}

int compareJavaVersions(const std::string& a, const std::string& b) {
    return compareBytes(a, b, std::max(a.size(), b.size()));
}

int compareJavaVersions(VersionRules rules, const std::string& a, const std::string& b) {
    if (rules == VersionRules::Classic) return compareJavaVersions(a, b);
    auto left = parseNumericVersion(a), right = parseNumericVersion(b);
    if (left && right) return compareNumericVersions(*left, *right);
    if (left || right) return left ? 1 : -1;
    return compareJavaVersions(a, b);
}

bool isPreReleaseVersion(const std::string& version) {
    return std::any_of(kPreReleaseMarkers.begin(), kPreReleaseMarkers.end(),
                       [&](std::string_view marker) { return version.find(marker) != std::string::npos; });
}

VersionVerdict judgeJavaVersion(const Config& config, const std::string& version, const std::string& minimum,
                                const std::string& maximum, PreRelease preRelease) {
    if (preRelease == PreRelease::Refused && getConfigInt(config, key::kAllowPreRelease) == 0 &&
        isPreReleaseVersion(version))
        return VersionVerdict::PreRelease;
    return judgeVersionBounds(versionRules(config), version, minimum, maximum);
}

VersionVerdict judgeVersionBounds(VersionRules rules, const std::string& version, const std::string& minimum,
                                  const std::string& maximum) {
    return rules == VersionRules::Modern ? judgeModern(version, minimum, maximum)
                                         : judgeClassic(version, minimum, maximum);
}

bool isJavaVersionAllowed(Process& ctx, const Config& config, const std::string& version, const std::string& minimum,
                          const std::string& maximum, PreRelease preRelease) {
    VersionVerdict verdict = judgeJavaVersion(config, version, minimum, maximum, preRelease);
    if (verdict == VersionVerdict::PreRelease) logInfo(ctx, "beta vm not allowed");
    return verdict == VersionVerdict::Allowed;
}

bool isRegistryVersionInRange(const std::string& version, const std::string& minimum, const std::string& maximum) {
    if (compareBytes(version, minimum, std::min(version.size(), minimum.size())) < 0) return false;
    if (compareBytes(version, maximum, std::min(version.size(), maximum.size())) > 0) return false;
    return true;
}

bool isRegistryVersionInRange(VersionRules rules, const std::string& version, const std::string& minimum,
                              const std::string& maximum) {
    if (rules == VersionRules::Classic) return isRegistryVersionInRange(version, minimum, maximum);
    auto parsed = parseNumericVersion(version);
    if (!parsed) return true;  // a name that is no version: the runtime's own report decides
    // Over the shorter list of numbers, as classic compares over the shorter text.
    for (const std::string* bound : {&minimum, &maximum}) {
        auto limit = bound->empty() ? std::nullopt : parseNumericVersion(*bound);
        if (!limit) continue;
        int order = comparePrefix(*parsed, *limit, std::min(parsed->numbers.size(), limit->numbers.size()));
        if (bound == &minimum ? order < 0 : order > 0) return false;
    }
    return true;
}

}  // namespace kavrin
