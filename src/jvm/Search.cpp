#include "jvm/Search.h"

#include <algorithm>

#include "config/Config.h"
#include "config/Keys.h"
#include "config/Lists.h"
#include "diagnostics/Log.h"
#include "files/PackedRuntime.h"
#include "files/Paths.h"
#include "files/TextFile.h"
#include "jvm/Probe.h"
#include "jvm/RegistrySearch.h"
#include "jvm/SearchTrace.h"

namespace kavrin {

namespace {

// fgets into an 8192-byte buffer.
constexpr size_t kLocationLineLimit = 8191;
constexpr size_t kMaxVariableValue = 8191;

struct Bounds {
    std::string minimum;
    std::string maximum;
};

using EntryTest = bool (*)(Process&, const Config&, std::string& javaExe, const SearchEntry&, const Bounds&);

bool testLocationEntry(Process& ctx, const Config& config, std::string& javaExe, const SearchEntry& e,
                       const Bounds& b) {
    return testLocation(ctx, config, javaExe, e.argument, b.minimum, b.maximum, AnyVersion::No);
}
bool testVariableEntry(Process& ctx, const Config& config, std::string& javaExe, const SearchEntry& e,
                       const Bounds& b) {
    return testJavaHomeVariable(ctx, config, javaExe, e.argument, b.minimum, b.maximum);
}
bool testSearchPathEntry(Process& ctx, const Config& config, std::string& javaExe, const SearchEntry&,
                         const Bounds& b) {
    return testSearchPath(ctx, config, javaExe, b.minimum, b.maximum);
}
bool testRegistryEntry(Process& ctx, const Config& config, std::string& javaExe, const SearchEntry&, const Bounds& b) {
    return searchRegisteredRuntimes(ctx, config, javaExe, b.minimum, b.maximum);
}

enum class Fallback { Never, Always, WhenRelative };
// Whether success sets the location name to the entry's argument.
enum class Naming { Argument, None };

struct EntryRule {
    char type;
    EntryTest test;
    SearchKind kind;
    Naming naming;
    Fallback fallback;
};

// The search sequence's entry types. Letters are compared exactly (upper case).
constexpr EntryRule kEntryRules[] = {
    {'A', testLocationEntry, SearchKind::Location, Naming::Argument, Fallback::WhenRelative},
    {'B', testLocationEntry, SearchKind::Location, Naming::Argument, Fallback::Always},
    {'R', testLocationEntry, SearchKind::Location, Naming::Argument, Fallback::WhenRelative},
    {'E', testVariableEntry, SearchKind::EnvironmentVariable, Naming::Argument, Fallback::Never},
    {'S', testSearchPathEntry, SearchKind::ExecutableSearch, Naming::Argument, Fallback::Never},
    {'Y', testRegistryEntry, SearchKind::Registry, Naming::None, Fallback::Never},
};

void traceSource(Process& ctx, const std::string& source) {
    if (ctx.search.trace) ctx.search.trace->source = source;
}

const EntryRule* ruleFor(char type) {
    for (const auto& rule : kEntryRules)
        if (rule.type == type) return &rule;
    return nullptr;
}

const char* flavourVariable(char flavour) {
    switch (flavour) {
    case 'k': return "KAVRIN_JAVA_HOME";
    case 'm': return "MOLVEX_JAVA_HOME";
    default: return nullptr;
    }
}

std::string installationDirectory(Process& ctx, const Config& config) {
    return makeFullPath(ctx, getConfigString(config, key::kInstallDirectory), PathCase::Keep);
}

SearchKind firstPass(Process& ctx, const Config& config, const std::vector<SearchEntry>& entries, const Bounds& bounds,
                     std::string& javaExe, std::string& locationName) {
    for (const auto& entry : entries) {
        logInfo(ctx, "Testing location %s (type %c)", entry.argument.c_str(), entry.type);
        traceSource(ctx, std::string("entry ") + entry.type + entry.argument);
        const EntryRule* rule = ruleFor(entry.type);
        if (!rule || !rule->test(ctx, config, javaExe, entry, bounds)) continue;
        if (rule->naming == Naming::Argument) locationName = entry.argument;
        return rule->kind;
    }
    return SearchKind::None;
}

bool fallbackPass(Process& ctx, const Config& config, const std::vector<SearchEntry>& entries, std::string& javaExe,
                  std::string& locationName) {
    for (const auto& entry : entries) {
        if (!triedInFallback(entry)) continue;
        logInfo(ctx, "Testing relative location %s", entry.argument.c_str());
        traceSource(ctx, std::string("fallback pass, entry ") + entry.type + entry.argument);
        testLocation(ctx, config, javaExe, entry.argument, "", "", AnyVersion::Yes);
        const bool exists = fileExists(ctx, javaExe);
        if (ctx.search.trace)
            ctx.search.trace->candidates.push_back(
                {ctx.search.trace->source, javaExe, "", "", exists, exists ? "" : "file doesn't exist"});
        if (exists) {
            logInfo(ctx, "%s exists", javaExe.c_str());
            locationName = entry.argument;
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<SearchEntry> parseSearchSequence(const std::string& sequence) {
    std::vector<SearchEntry> entries;
    for (const std::string& entry : splitList(sequence, ';')) entries.push_back({entry[0], entry.substr(1)});
    return entries;
}

bool isAbsoluteForFallback(const std::string& argument) {
    return argument.size() >= 2 && (argument[1] == ':' || (argument[0] == '\\' && argument[1] == '\\'));
}

bool triedInFallback(const SearchEntry& entry) {
    const EntryRule* rule = ruleFor(entry.type);
    if (!rule) return false;
    switch (rule->fallback) {
    case Fallback::Always: return true;
    case Fallback::WhenRelative: return !isAbsoluteForFallback(entry.argument);
    case Fallback::Never: return false;
    }
    return false;
}

std::optional<std::string> firstLocationLine(const std::string& raw) {
    std::optional<std::string> line = TextModeReader(raw, kLocationLineLimit).readLine();
    if (!line) return std::nullopt;
    while (!line->empty() && (line->back() == '\r' || line->back() == '\n')) line->pop_back();
    return line;
}

std::optional<std::string> readLocationFile(Process& ctx, const Config& config, const std::string& fileSuffix) {
    std::string path = installationDirectory(ctx, config);
    // The suffix brings its own separator.
    if (!path.empty() && path.back() == '\\' && !fileSuffix.empty() && fileSuffix.front() == '\\') path.pop_back();
    path += fileSuffix;
    // Enough for 8191 characters even when every one is a CR LF pair.
    auto raw = readFileBytes(ctx, path, 2 * kLocationLineLimit + 2);
    if (!raw) return std::nullopt;
    return firstLocationLine(*raw);
}

bool testLocation(Process& ctx, const Config& config, std::string& javaExe, const std::string& location,
                  const std::string& minimum, const std::string& maximum, AnyVersion anyVersion) {
    std::string home = makeFullPath(ctx, location, PathCase::Lower);
    if (!ctx.search.trace) preparePackedRuntime(ctx, config, home);  // -diagnose changes nothing on disk
    bool qualifies = findJavaExeInHome(ctx, config, javaExe, home);
    if (anyVersion == AnyVersion::Yes) return true;
    return qualifies && testJavaExe(ctx, config, javaExe, minimum, maximum, PreRelease::Allowed, VersionCache::Use);
}

bool testJavaHomeVariable(Process& ctx, const Config& config, std::string& javaExe, const std::string& variable,
                          const std::string& minimum, const std::string& maximum) {
    auto value = ctx.os.env.get(variable);
    // Longer than the 8192-byte buffer: refused rather than cut.
    if (!value || value->empty() || value->size() > kMaxVariableValue) return false;
    std::string home = *value;
    std::replace(home.begin(), home.end(), '/', '\\');
    if (!findJavaExeInHome(ctx, config, javaExe, home)) return false;
    return testJavaExe(ctx, config, javaExe, minimum, maximum, PreRelease::Refused, VersionCache::Use);
}

bool testSearchPath(Process& ctx, const Config& config, std::string& javaExe, const std::string& minimum,
                    const std::string& maximum) {
    auto found = ctx.os.fs.searchPath("java.exe");
    if (!found) return false;
    javaExe = *found;
    return testJavaExe(ctx, config, javaExe, minimum, maximum, PreRelease::Refused, VersionCache::Use);
}

SearchKind searchJvm(Process& ctx, const Config& config, std::string& javaExe, std::string& locationName) {
    logInfo(ctx, "Searching for a JVM");
    auto entries = parseSearchSequence(getConfigString(config, key::kSearchSequence));
    Bounds bounds{getConfigString(config, key::kMinVersion), getConfigString(config, key::kMaxVersion)};

    if (auto line = readLocationFile(ctx, config, kPreferredLocationFile)) {
        logInfo(ctx, "Has preferred location %s", line->c_str());
        traceSource(ctx, "preferred location file");
        if (testLocation(ctx, config, javaExe, *line, bounds.minimum, bounds.maximum, AnyVersion::No)) {
            logInfo(ctx, "Using preferred location");
            locationName = *line;
            return SearchKind::Location;
        }
    }

    SearchKind kind = firstPass(ctx, config, entries, bounds, javaExe, locationName);
    if (kind != SearchKind::None) return kind;
    logInfo(ctx, "Search sequence finished");

    if (const char* variable = flavourVariable(configuredFlavour(config))) {
        traceSource(ctx, std::string("variable ") + variable);
        if (testJavaHomeVariable(ctx, config, javaExe, variable, bounds.minimum, bounds.maximum)) {
            locationName = variable;
            return SearchKind::EnvironmentVariable;
        }
    }

    if (auto line = readLocationFile(ctx, config, kInstallerLocationFile)) {
        logInfo(ctx, "Has installer location %s", line->c_str());
        traceSource(ctx, "installer location file");
        if (testLocation(ctx, config, javaExe, *line, bounds.minimum, bounds.maximum, AnyVersion::No)) {
            logInfo(ctx, "Using installer location");
            locationName = *line;
            return SearchKind::Location;
        }
    }

    if (fallbackPass(ctx, config, entries, javaExe, locationName)) return SearchKind::Location;
    return SearchKind::None;
}

}  // namespace kavrin
