#include "jvm/RegistrySearch.h"

#include <algorithm>

#include "config/Config.h"
#include "config/Keys.h"
#include "jvm/Probe.h"
#include "jvm/Version.h"

namespace kavrin {

namespace {

constexpr size_t kCurrentVersionBytes = 100;
constexpr size_t kJavaHomeBytes = 8192;

bool jdkRequired(const Context& ctx) { return getConfigInt(ctx, key::kJdkRequired) != 0; }

std::string stripTerminators(std::string text) {
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

// "CurrentVersion" of a family key, or "" when unreadable or out of range.
std::string currentVersionInRange(Context& ctx, const char* familyKey, const std::string& minimum,
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
bool acceptJavaSoftHome(Context& ctx, const std::string& home, std::string& javaExe, std::string& version,
                        const std::string& minimum, const std::string& maximum) {
    if (!findJavaExeInHome(ctx, javaExe, home)) return false;
    return checkJavaExe(ctx, javaExe, version, minimum, maximum, false);
}

std::optional<FoundRuntime> found(bool ok, std::string javaExe, std::string version) {
    if (!ok) return std::nullopt;
    return FoundRuntime{std::move(javaExe), std::move(version)};
}

}  // namespace

std::optional<FoundRuntime> pickHigher(const std::optional<FoundRuntime>& first,
                                       const std::optional<FoundRuntime>& second) {
    if (first && second) return compareJavaVersions(first->version, second->version) > 0 ? first : second;
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

std::optional<std::string> readRegistryValue(Context& ctx, RegRoot root, const std::string& keyPath,
                                             const std::string& valueName, size_t maxBytes) {
    auto key = ctx.os.registry.openKey(root, keyPath, RegAccess::Read);
    if (!key) return std::nullopt;
    auto value = key->queryValue(valueName, maxBytes);
    if (!value) return std::nullopt;
    return stripTerminators(value->data);
}

bool searchRegisteredRuntimes(Context& ctx, std::string& javaExe, const std::string& minimum,
                              const std::string& maximum) {
    std::string exeA, versionA, exeB, versionB;
    // Both searches always run.
    bool okA = searchJavaSoftRegistry(ctx, exeA, versionA, minimum, maximum);
    bool okB = searchLocatedJvms(ctx, exeB, versionB, minimum, maximum);
    auto chosen = pickHigher(found(okA, exeA, versionA), found(okB, exeB, versionB));
    if (!chosen) return false;
    javaExe = chosen->javaExe;
    return true;
}

bool searchJavaSoftRegistry(Context& ctx, std::string& javaExe, std::string& version, const std::string& minimum,
                            const std::string& maximum) {
    if (searchCurrentVersion(ctx, javaExe, version, minimum, maximum)) return true;
    if (!jdkRequired(ctx) && searchRegisteredVersions(ctx, javaExe, version, minimum, maximum, kJreFamilyKey))
        return true;
    return searchRegisteredVersions(ctx, javaExe, version, minimum, maximum, kJdkFamilyKey);
}

bool searchCurrentVersion(Context& ctx, std::string& javaExe, std::string& version, const std::string& minimum,
                          const std::string& maximum) {
    std::string jdk = currentVersionInRange(ctx, kJdkFamilyKey, minimum, maximum);
    std::string jre = jdkRequired(ctx) ? std::string() : currentVersionInRange(ctx, kJreFamilyKey, minimum, maximum);
    auto home = readRegistryValue(ctx, RegRoot::LocalMachine, currentVersionKey(jdk, jre), "JavaHome", kJavaHomeBytes);
    if (!home) return false;
    return acceptJavaSoftHome(ctx, *home, javaExe, version, minimum, maximum);
}

bool searchRegisteredVersions(Context& ctx, std::string& javaExe, std::string& version, const std::string& minimum,
                              const std::string& maximum, const std::string& familyKey) {
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
        if (acceptJavaSoftHome(ctx, *home, javaExe, version, minimum, maximum)) return true;
    }
    return false;
}

bool searchLocatedJvms(Context& ctx, std::string& javaExe, std::string& version, const std::string& minimum,
                       const std::string& maximum) {
    std::string exeU, versionU, exeM, versionM;
    bool okU = scanLocatedJvms(ctx, RegRoot::CurrentUser, exeU, versionU, minimum, maximum);
    bool okM = scanLocatedJvms(ctx, RegRoot::LocalMachine, exeM, versionM, minimum, maximum);
    // The user's entry wins only with a strictly higher version.
    auto chosen = pickHigher(found(okU, exeU, versionU), found(okM, exeM, versionM));
    if (!chosen) return false;
    javaExe = chosen->javaExe;
    version = chosen->version;
    return true;
}

bool scanLocatedJvms(Context& ctx, RegRoot root, std::string& javaExe, std::string& version,
                     const std::string& minimum, const std::string& maximum) {
    std::string bestVersion;
    bool any = false;
    std::vector<std::string> names;
    {
        auto list = ctx.os.registry.openKey(root, kLocatedJvmsKey, RegAccess::Read);
        if (!list) return false;
        names = subkeyNames(*list);
    }
    for (const auto& name : names) {
        std::string candidate = locatedNameToPath(name);
        std::string candidateVersion;
        if (!checkJavaExe(ctx, candidate, candidateVersion, minimum, maximum, true)) continue;
        // Strictly higher only: of equal versions the first enumerated stays.
        if (compareJavaVersions(candidateVersion, bestVersion) > 0) {
            bestVersion = candidateVersion;
            javaExe = candidate;
            any = true;
        }
    }
    if (any) version = bestVersion;
    return any;
}

}  // namespace kavrin
