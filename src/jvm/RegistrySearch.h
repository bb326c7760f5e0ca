// Java runtimes registered in the registry: the installers' JavaSoft keys under
// HKLM and the located lists under HKCU and HKLM. The registry only proposes;
// every candidate must pass checkJavaExe. Under the modern rules the layouts of
// current installers are read too (kRegistryLayouts), under HKLM then HKCU, in the
// 64-bit view, and the newest registered version in range wins.
//
// Usage:
//   std::string exe;
//   if (searchRegisteredRuntimes(ctx, config, exe, "1.5", "")) ...
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "jvm/Version.h"

namespace kavrin {

inline constexpr const char* kJreFamilyKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
inline constexpr const char* kJdkFamilyKey = "SOFTWARE\\JavaSoft\\Java Development Kit";
inline constexpr const char* kLocatedJvmsKey = "SOFTWARE\\dalvenco\\kavrin\\locatedjvms\\";

// One runtime a search settled on.
struct FoundRuntime {
    std::string javaExe;
    std::string version;
};

bool searchRegisteredRuntimes(Process& ctx, const Config& config, std::string& javaExe, const std::string& minimum,
                              const std::string& maximum);
bool searchJavaSoftRegistry(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                            const std::string& minimum, const std::string& maximum);
bool searchCurrentVersion(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                          const std::string& minimum, const std::string& maximum);
bool searchRegisteredVersions(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                              const std::string& minimum, const std::string& maximum, const std::string& familyKey);
// Modern rules: every layout of kRegistryLayouts, tried from the newest version name down.
bool searchRegisteredLayouts(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                             const std::string& minimum, const std::string& maximum);
bool searchLocatedJvms(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                       const std::string& minimum, const std::string& maximum);
// The located list under one root: its highest acceptable entry, the first of equals.
std::optional<FoundRuntime> scanLocatedJvms(Process& ctx, const Config& config, RegRoot root,
                                            const std::string& minimum, const std::string& maximum);
// The value read with a buffer of maxBytes; nullopt when the key or value is missing or larger.
std::optional<std::string> readRegistryValue(Process& ctx, RegRoot root, const std::string& keyPath,
                                             const std::string& valueName, size_t maxBytes);

// Pure decision rules, exposed for tests.
// Of two finds, `first` wins only when its version orders strictly higher.
std::optional<FoundRuntime> pickHigher(const std::optional<FoundRuntime>& first,
                                       const std::optional<FoundRuntime>& second,
                                       VersionRules rules = VersionRules::Classic);

// How a vendor's installer names its version subkeys.
enum class NameForm {
    Version,   // the version itself: 17, 17.0.9, 1.8.0_392, 21.0.1.12
    Zulu,      // zulu-17, zulu-8-jre
    Liberica,  // jdk-17, jre-8
};
// One registry layout: <family>\<name><below> holds the home in <value>.
struct RegistryLayout {
    const char* family;
    const char* below;
    const char* value;
    NameForm form;
    bool kit;  // a development kit's layout (Version form; the others tell by the name)
};
struct LayoutName {
    std::string version;
    bool kit = false;
};
// The version a subkey name stands for, and whether it names a kit; none when the
// name is not of the layout's form.
std::optional<LayoutName> layoutNameVersion(const RegistryLayout& layout, const std::string& name);
extern const RegistryLayout kRegistryLayouts[17];
// The key whose JavaHome searchCurrentVersion reads; equal versions go to the JRE family.
std::string currentVersionKey(const std::string& jdkVersion, const std::string& jreVersion);
// The registry version names in range, in the order they are tried: highest first.
std::vector<std::string> registryVersionsToTry(const std::vector<std::string>& names, const std::string& minimum,
                                               const std::string& maximum);
// A located-list key name back to a path: every "/" becomes "\".
std::string locatedNameToPath(const std::string& name);

}  // namespace kavrin
