#include "jvm/RegistrySearch.h"

#include <algorithm>

#include "config/Config.h"
#include "config/Keys.h"
#include "jvm/Probe.h"
#include "jvm/SearchTrace.h"
#include "jvm/Version.h"

namespace kavrin {

namespace {

constexpr size_t kCurrentVersionBytes = 100;
constexpr size_t kJavaHomeBytes = 8192;

bool jdkRequired(const Config& config) { return getConfigInt(config, key::kJdkRequired) != 0; }

void traceSource(Process& ctx, const std::string& source) {
    if (ctx.search.trace) ctx.search.trace->source = source;
}

const char* rootName(RegRoot root) { return root == RegRoot::LocalMachine ? "HKLM" : "HKCU"; }

std::string stripTerminators(std::string text) {
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

// "CurrentVersion" of a family key, or "" when unreadable or out of range.
std::string currentVersionInRange(Process& ctx, const char* familyKey, const std::string& minimum,
                                  const std::string& maximum) {
    auto version = readRegistryValue(ctx, RegRoot::LocalMachine, familyKey, "CurrentVersion", kCurrentVersionBytes);
    if (!version || !isRegistryVersionInRange(*version, minimum, maximum)) return {};
    return *version;
}

std::vector<std::string> subkeyNames(RegKey& key) {
    std::vector<std::string> names;
    for (uint32_t index = 0;; ++index) {
        auto name = key.enumSubkey(index);
        if (!name) break;
        names.push_back(*name);
    }
    return names;
}

// A home proposed by the JavaSoft keys, confirmed by its own version report.
bool acceptJavaSoftHome(Process& ctx, const Config& config, const std::string& home, std::string& javaExe,
                        std::string& version, const std::string& minimum, const std::string& maximum) {
    if (!findJavaExeInHome(ctx, config, javaExe, home)) return false;
    return checkJavaExe(ctx, config, javaExe, version, minimum, maximum, PreRelease::Refused);
}

std::optional<FoundRuntime> found(bool ok, std::string javaExe, std::string version) {
    if (!ok) return std::nullopt;
    return FoundRuntime{std::move(javaExe), std::move(version)};
}

}  // namespace

const RegistryLayout kRegistryLayouts[17] = {
    {"SOFTWARE\\JavaSoft\\JDK", "", "JavaHome", NameForm::Version, true},
    {"SOFTWARE\\JavaSoft\\JRE", "", "JavaHome", NameForm::Version, false},
    {kJdkFamilyKey, "", "JavaHome", NameForm::Version, true},
    {kJreFamilyKey, "", "JavaHome", NameForm::Version, false},
    {"SOFTWARE\\Eclipse Adoptium\\JDK", "\\hotspot\\MSI", "Path", NameForm::Version, true},
    {"SOFTWARE\\Eclipse Adoptium\\JRE", "\\hotspot\\MSI", "Path", NameForm::Version, false},
    {"SOFTWARE\\AdoptOpenJDK\\JDK", "\\hotspot\\MSI", "Path", NameForm::Version, true},
    {"SOFTWARE\\AdoptOpenJDK\\JDK", "\\openj9\\MSI", "Path", NameForm::Version, true},
    {"SOFTWARE\\AdoptOpenJDK\\JRE", "\\hotspot\\MSI", "Path", NameForm::Version, false},
    {"SOFTWARE\\AdoptOpenJDK\\JRE", "\\openj9\\MSI", "Path", NameForm::Version, false},
    {"SOFTWARE\\Eclipse Foundation\\JDK", "\\hotspot\\MSI", "Path", NameForm::Version, true},
    {"SOFTWARE\\Eclipse Foundation\\JRE", "\\hotspot\\MSI", "Path", NameForm::Version, false},
    {"SOFTWARE\\Semeru\\JDK", "\\openj9\\MSI", "Path", NameForm::Version, true},
    {"SOFTWARE\\Semeru\\JRE", "\\openj9\\MSI", "Path", NameForm::Version, false},
    {"SOFTWARE\\Microsoft\\JDK", "\\hotspot\\MSI", "Path", NameForm::Version, true},
    {"SOFTWARE\\Azul Systems\\Zulu", "", "InstallationPath", NameForm::Zulu, true},
    {"SOFTWARE\\BellSoft\\Liberica", "", "InstallationPath", NameForm::Liberica, true},
};

std::optional<LayoutName> layoutNameVersion(const RegistryLayout& layout, const std::string& name) {
    auto withoutPrefix = [&](std::string_view prefix) -> std::optional<std::string> {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
        return name.substr(prefix.size());
    };
    std::optional<LayoutName> result;
    switch (layout.form) {
    case NameForm::Version: result = LayoutName{name, layout.kit}; break;
    case NameForm::Zulu:
        if (auto rest = withoutPrefix("zulu-")) {
            constexpr std::string_view kJre = "-jre";
            bool jre = rest->size() > kJre.size() && rest->compare(rest->size() - kJre.size(), kJre.size(), kJre) == 0;
            result = LayoutName{jre ? rest->substr(0, rest->size() - kJre.size()) : *rest, !jre};
        }
        break;
    case NameForm::Liberica:
        if (auto rest = withoutPrefix("jdk-")) result = LayoutName{*rest, true};
        else if (auto runtime = withoutPrefix("jre-")) result = LayoutName{*runtime, false};
        break;
    }
    if (!result || !parseNumericVersion(result->version)) return std::nullopt;
    return result;
}

std::optional<FoundRuntime> pickHigher(const std::optional<FoundRuntime>& first,
                                       const std::optional<FoundRuntime>& second, VersionRules rules) {
    if (first && second) return compareJavaVersions(rules, first->version, second->version) > 0 ? first : second;
    return first ? first : second;
}

std::string currentVersionKey(const std::string& jdkVersion, const std::string& jreVersion) {
    if (compareJavaVersions(jdkVersion, jreVersion) > 0) return std::string(kJdkFamilyKey) + "\\" + jdkVersion;
    return std::string(kJreFamilyKey) + "\\" + jreVersion;
}

std::vector<std::string> registryVersionsToTry(const std::vector<std::string>& names, const std::string& minimum,
                                               const std::string& maximum) {
    std::vector<std::string> kept;
    for (const auto& name : names)
        if (isRegistryVersionInRange(name, minimum, maximum)) kept.push_back(name);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const std::string& a, const std::string& b) { return compareJavaVersions(a, b) < 0; });
    std::reverse(kept.begin(), kept.end());
    return kept;
}

std::string locatedNameToPath(const std::string& name) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::optional<std::string> readRegistryValue(Process& ctx, RegRoot root, const std::string& keyPath,
                                             const std::string& valueName, size_t maxBytes) {
    auto key = ctx.os.registry.openKey(root, keyPath, RegAccess::Read);
    if (!key) return std::nullopt;
    auto value = key->queryValue(valueName, maxBytes);
    if (!value) return std::nullopt;
    return stripTerminators(value->data);
}

bool searchRegisteredRuntimes(Process& ctx, const Config& config, std::string& javaExe, const std::string& minimum,
                              const std::string& maximum) {
    std::string exeA, versionA, exeB, versionB;
    // Both searches always run.
    const VersionRules rules = versionRules(config);
    bool okA = rules == VersionRules::Modern ? searchRegisteredLayouts(ctx, config, exeA, versionA, minimum, maximum)
                                             : searchJavaSoftRegistry(ctx, config, exeA, versionA, minimum, maximum);
    bool okB = searchLocatedJvms(ctx, config, exeB, versionB, minimum, maximum);
    auto chosen = pickHigher(found(okA, exeA, versionA), found(okB, exeB, versionB), rules);
    if (!chosen) return false;
    javaExe = chosen->javaExe;
    return true;
}

bool searchJavaSoftRegistry(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                            const std::string& minimum, const std::string& maximum) {
    if (searchCurrentVersion(ctx, config, javaExe, version, minimum, maximum)) return true;
    if (!jdkRequired(config) &&
        searchRegisteredVersions(ctx, config, javaExe, version, minimum, maximum, kJreFamilyKey))
        return true;
    return searchRegisteredVersions(ctx, config, javaExe, version, minimum, maximum, kJdkFamilyKey);
}

bool searchCurrentVersion(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                          const std::string& minimum, const std::string& maximum) {
    std::string jdk = currentVersionInRange(ctx, kJdkFamilyKey, minimum, maximum);
    std::string jre = jdkRequired(config) ? std::string() : currentVersionInRange(ctx, kJreFamilyKey, minimum, maximum);
    const std::string key = currentVersionKey(jdk, jre);
    auto home = readRegistryValue(ctx, RegRoot::LocalMachine, key, "JavaHome", kJavaHomeBytes);
    if (!home) return false;
    traceSource(ctx, "registry HKLM\\" + key);
    return acceptJavaSoftHome(ctx, config, *home, javaExe, version, minimum, maximum);
}

bool searchRegisteredVersions(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                              const std::string& minimum, const std::string& maximum, const std::string& familyKey) {
    std::vector<std::string> names;
    {
        auto family = ctx.os.registry.openKey(RegRoot::LocalMachine, familyKey, RegAccess::Read);
        if (!family) return false;
        names = subkeyNames(*family);
    }
    // Highest first, so no runtime below the best acceptable one is ever run.
    for (const auto& name : registryVersionsToTry(names, minimum, maximum)) {
        auto home = readRegistryValue(ctx, RegRoot::LocalMachine, familyKey + "\\" + name, "JavaHome", kJavaHomeBytes);
        if (!home) continue;
        traceSource(ctx, "registry HKLM\\" + familyKey + "\\" + name);
        if (acceptJavaSoftHome(ctx, config, *home, javaExe, version, minimum, maximum)) return true;
    }
    return false;
}

bool searchLocatedJvms(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                       const std::string& minimum, const std::string& maximum) {
    // Two statements: the user's list is probed first.
    auto user = scanLocatedJvms(ctx, config, RegRoot::CurrentUser, minimum, maximum);
    auto machine = scanLocatedJvms(ctx, config, RegRoot::LocalMachine, minimum, maximum);
    // The user's entry wins only with a strictly higher version.
    auto chosen = pickHigher(user, machine, versionRules(config));
    if (!chosen) return false;
    javaExe = chosen->javaExe;
    version = chosen->version;
    return true;
}

std::optional<FoundRuntime> scanLocatedJvms(Process& ctx, const Config& config, RegRoot root,
                                            const std::string& minimum, const std::string& maximum) {
    std::optional<FoundRuntime> best;
    std::vector<std::string> names;
    {
        auto list = ctx.os.registry.openKey(root, kLocatedJvmsKey, RegAccess::Read);
        if (!list) return std::nullopt;
        names = subkeyNames(*list);
    }
    const VersionRules rules = versionRules(config);
    traceSource(ctx, std::string("located list ") + rootName(root));
    for (const auto& name : names) {
        std::string candidate = locatedNameToPath(name);
        std::string candidateVersion;
        if (!checkJavaExe(ctx, config, candidate, candidateVersion, minimum, maximum, PreRelease::Allowed)) continue;
        // Strictly higher only: of equal versions the first enumerated stays.
        if (compareJavaVersions(rules, candidateVersion, best ? best->version : std::string()) > 0)
            best = FoundRuntime{candidate, candidateVersion};
    }
    return best;
}

namespace {

struct LayoutCandidate {
    RegRoot root;
    std::string key;
    const char* value;
    std::string version;
};

std::vector<LayoutCandidate> layoutCandidates(Process& ctx, const Config& config, const std::string& minimum,
                                              const std::string& maximum) {
    std::vector<LayoutCandidate> candidates;
    const bool kitsOnly = jdkRequired(config);
    for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
        for (const auto& layout : kRegistryLayouts) {
            std::vector<std::string> names;
            if (auto family = ctx.os.registry.openKey(root, layout.family, RegAccess::Read64))
                names = subkeyNames(*family);
            for (const auto& name : names) {
                auto named = layoutNameVersion(layout, name);
                if (!named || (kitsOnly && !named->kit)) continue;
                if (!isRegistryVersionInRange(VersionRules::Modern, named->version, minimum, maximum)) continue;
                candidates.push_back(
                    {root, std::string(layout.family) + "\\" + name + layout.below, layout.value, named->version});
            }
        }
    }
    // Newest first; of equal versions, HKLM before HKCU and the table's order.
    std::stable_sort(candidates.begin(), candidates.end(), [](const LayoutCandidate& a, const LayoutCandidate& b) {
        return compareJavaVersions(VersionRules::Modern, a.version, b.version) > 0;
    });
    return candidates;
}

}  // namespace

bool searchRegisteredLayouts(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                             const std::string& minimum, const std::string& maximum) {
    for (const auto& candidate : layoutCandidates(ctx, config, minimum, maximum)) {
        auto key = ctx.os.registry.openKey(candidate.root, candidate.key, RegAccess::Read64);
        auto value = key ? key->queryValue(candidate.value, kJavaHomeBytes) : std::nullopt;
        if (!value) continue;
        // Installers write the home with a trailing backslash.
        std::string home = stripTerminators(value->data);
        while (home.size() > 3 && home.back() == '\\') home.pop_back();
        traceSource(ctx, std::string("registry ") + rootName(candidate.root) + "\\" + candidate.key);
        if (acceptJavaSoftHome(ctx, config, home, javaExe, version, minimum, maximum)) return true;
    }
    return false;
}

}  // namespace kavrin
