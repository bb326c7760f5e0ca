#include "jvm/Probe.h"

#include "config/Config.h"
#include "config/Keys.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "files/TempFiles.h"
#include "files/TextFile.h"
#include "jvm/SearchTrace.h"
#include "jvm/Version.h"
#include "platform/Ascii.h"

namespace kavrin {

namespace {

constexpr const char* kVersionPrefix = "java version \"";
constexpr size_t kVersionPrefixLength = 14;
// What every OpenJDK build prints instead.
constexpr std::string_view kOpenJdkPrefix = "openjdk version \"";
constexpr std::string_view kReleaseVersionKey = "JAVA_VERSION=";
// A release file is a few hundred bytes; its version line comes early.
constexpr size_t kReleaseFileBytes = 65536;
// fgets into a 100-byte buffer: at most 99 characters of the first line.
constexpr size_t kProbeLineLimit = 99;
// Enough raw bytes to hold a first line of 99 characters even if every one were a CR LF pair.
constexpr size_t kProbeReadBytes = 2 * kProbeLineLimit + 2;
constexpr size_t kMaxVersionBytes = 8192;
constexpr uint32_t kTerminateGraceMs = 5000;

// Runs the executable and reads what it printed; nullopt for every failure.
std::optional<std::string> runProbe(Process& ctx, const Config& config, const std::string& javaExe, FileTime fileTime,
                                    const std::string& outputFile) {
    std::string executable = ctx.os.fs.shortPathName(javaExe).value_or(javaExe);
    SpawnOptions options;
    options.stderrFile = outputFile;
    options.hideWindow = true;
    auto child = ctx.os.processes.spawn(probeCommandLine(executable), options);
    if (!child) return std::nullopt;

    child->wait(ctx.search.probeTimeoutMs);
    uint32_t exitCode = child->exitCode();
    logInfo(ctx, "Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kStillActive) {
        logInfo(ctx, "Terminating process");
        child->terminate(1);
        // Let it die so its handle on the output file closes and the file can be deleted.
        child->wait(kTerminateGraceMs);
        return std::nullopt;
    }
    if (exitCode != 0) {
        writeVersionCache(ctx, javaExe, fileTime, kFailedRunVersion);
        return std::nullopt;
    }
    child.reset();  // close the handles before reading the output

    auto parsed = parseJavaVersionLine(firstProbeLine(readFileBytes(ctx, outputFile, kProbeReadBytes).value_or("")),
                                       versionRules(config));
    if (parsed) logInfo(ctx, "Java version: %s", parsed->c_str());
    return parsed;
}

std::string verdictReason(VersionVerdict verdict, const std::string& minimum, const std::string& maximum) {
    switch (verdict) {
    case VersionVerdict::Allowed: return {};
    case VersionVerdict::PreRelease: return "pre-release runtimes are not allowed here";
    case VersionVerdict::BelowMinimum: return "below min-version " + minimum;
    case VersionVerdict::AboveMaximum: return "above max-version " + maximum;
    }
    return {};
}

void recordCandidate(Process& ctx, const std::string& javaExe, const std::string& version,
                     const std::string& learnedFrom, bool accepted, const std::string& reason) {
    if (!ctx.search.trace) return;
    ctx.search.trace->candidates.push_back(
        CandidateReport{ctx.search.trace->source, javaExe, version, learnedFrom, accepted, reason});
}

// The version, and where it came from: the cache, the release file (modern), the run.
std::optional<std::string> learnVersion(Process& ctx, const Config& config, const std::string& javaExe,
                                        FileTime fileTime, std::string& version, VersionCache versionCache) {
    if (versionCache == VersionCache::Use) {
        if (auto cached = readVersionCache(ctx, javaExe, fileTime)) {
            version = *cached;
            logInfo(ctx, "got version from registry %s", version.c_str());
            return "cache";
        }
    }
    if (versionRules(config) == VersionRules::Modern) {
        if (auto released = readReleaseVersion(ctx, javaExe)) {
            version = *released;
            logInfo(ctx, "got version from release file %s", version.c_str());
            writeVersionCache(ctx, javaExe, fileTime, version);
            return "release file";
        }
    }
    if (auto probed = probeJavaVersion(ctx, config, javaExe, fileTime)) {
        version = *probed;
        logInfo(ctx, "got version from execution %s", version.c_str());
        writeVersionCache(ctx, javaExe, fileTime, version);
        return "probe";
    }
    logInfo(ctx, "couldn't get version");
    return std::nullopt;
}

}  // namespace

std::optional<std::string> releaseFileVersion(const std::string& content) {
    TextModeReader reader(content, std::string::npos);  // lines of any length
    while (auto line = reader.readLine()) {
        std::string_view entry(*line);
        while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.remove_suffix(1);
        if (entry.substr(0, kReleaseVersionKey.size()) != kReleaseVersionKey) continue;
        entry.remove_prefix(kReleaseVersionKey.size());
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
        if (entry.empty()) return std::nullopt;
        return std::string(entry);
    }
    return std::nullopt;
}

std::vector<std::string> releaseFileCandidates(const std::string& javaExe) {
    // c:\jdk\bin\java.exe: the home is two separators up.
    size_t name = javaExe.rfind('\\');
    if (name == std::string::npos || name == 0) return {};
    size_t bin = javaExe.rfind('\\', name - 1);
    if (bin == std::string::npos) return {};
    std::string home = javaExe.substr(0, bin);
    std::vector<std::string> candidates{home + "\\release"};
    constexpr std::string_view kJre = "\\jre";
    if (home.size() > kJre.size() && equalsIgnoringAsciiCase(home.substr(home.size() - kJre.size()), kJre))
        candidates.push_back(home.substr(0, home.size() - kJre.size()) + "\\release");
    return candidates;
}

std::optional<std::string> readReleaseVersion(Process& ctx, const std::string& javaExe) {
    for (const auto& file : releaseFileCandidates(javaExe)) {
        auto content = readFileBytes(ctx, file, kReleaseFileBytes);
        if (!content) continue;
        if (auto version = releaseFileVersion(*content)) return version;
    }
    return std::nullopt;
}

std::string probeCommandLine(const std::string& executable) {
    // Quoted: without 8.3 names the path keeps its blanks, and an unquoted
    // "c:\program files\..." would start c:\program.exe.
    return "\"" + executable + "\" -version";
}

std::string firstProbeLine(const std::string& raw) {
    return TextModeReader(raw, kProbeLineLimit).readLine().value_or("");
}

std::optional<std::string> parseJavaVersionLine(const std::string& line, VersionRules rules) {
    size_t prefixLength = kVersionPrefixLength;
    if (line.compare(0, kVersionPrefixLength, kVersionPrefix) != 0) {
        if (rules == VersionRules::Classic || line.compare(0, kOpenJdkPrefix.size(), kOpenJdkPrefix) != 0)
            return std::nullopt;
        prefixLength = kOpenJdkPrefix.size();
    }
    std::string rest = line.substr(prefixLength);
    // Too short to hold a version and its closing quote.
    if (rest.size() < 2) return std::nullopt;
    size_t quote = rest.find('"');
    if (quote == std::string::npos) return std::nullopt;
    return rest.substr(0, quote);
}

std::string fileTimeBytes(FileTime time) {
    std::string bytes(8, '\0');
    for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>((time.value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string versionCacheKeyName(const std::string& javaExe) {
    std::string name = kVersionCacheKey;
    for (char c : javaExe) name += (c == '\\') ? '/' : c;
    return name;
}

void writeVersionCache(Process& ctx, const std::string& javaExe, FileTime fileTime, const std::string& version) {
    auto key = ctx.os.registry.createKey(RegRoot::CurrentUser, versionCacheKeyName(javaExe));
    if (!key) return;
    key->setValue(kLastWriteTimeValue, kRegBinary, fileTimeBytes(fileTime));
    key->setValue(kVersionValue, kRegSz, version);  // stored without a terminator
}

std::optional<std::string> readVersionCache(Process& ctx, const std::string& javaExe, FileTime fileTime) {
    auto key = ctx.os.registry.openKey(RegRoot::CurrentUser, versionCacheKeyName(javaExe), RegAccess::Read);
    if (!key) return std::nullopt;
    auto stored = key->queryValue(kLastWriteTimeValue, 8);
    if (!stored || stored->data != fileTimeBytes(fileTime)) return std::nullopt;
    auto text = key->queryValue(kVersionValue, kMaxVersionBytes);
    if (!text) return std::nullopt;
    // The data length is the text length; a terminator written by another writer is not text.
    std::string value = text->data;
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

std::optional<std::string> probeJavaVersion(Process& ctx, const Config& config, const std::string& javaExe,
                                            FileTime fileTime) {
    std::string outputFile = createTempFileName(ctx);
    auto version = runProbe(ctx, config, javaExe, fileTime, outputFile);
    ctx.os.fs.deleteFile(outputFile);
    return version;
}

bool checkJavaExe(Process& ctx, const Config& config, std::string& javaExe, std::string& version,
                  const std::string& minimum, const std::string& maximum, PreRelease preRelease,
                  VersionCache versionCache) {
    logInfo(ctx, "checkJavaExe (%s, [out], %s, %s, %d)", javaExe.c_str(), minimum.c_str(), maximum.c_str(),
            preRelease == PreRelease::Allowed ? 1 : 0);
    javaExe = makeFullPath(ctx, javaExe, PathCase::Lower);

    bool result = false;
    FileTime fileTime;
    std::optional<std::string> learnedFrom;
    std::string reason;
    if (!getLastWriteTime(ctx, javaExe, &fileTime)) {
        logInfo(ctx, "file doesn't exist");
        reason = "file doesn't exist";
    } else {
        logInfo(ctx, "file exists");
        version.clear();
        learnedFrom = learnVersion(ctx, config, javaExe, fileTime, version, versionCache);
        if (!learnedFrom) {
            reason = "couldn't get version";
        } else {
            VersionVerdict verdict = judgeJavaVersion(config, version, minimum, maximum, preRelease);
            if (verdict == VersionVerdict::PreRelease) logInfo(ctx, "beta vm not allowed");
            result = verdict == VersionVerdict::Allowed;
            reason = verdictReason(verdict, minimum, maximum);
        }
    }

    if (result && getConfigInt(config, key::kLauncherType) == launcherType::kGui) {
        // The GUI launcher runs javaw.exe from the same directory.
        if (javaExe.size() < 4) return false;
        javaExe.replace(javaExe.size() - 4, 4, "w.exe");
        result = fileExists(ctx, javaExe);
        recordCandidate(ctx, javaExe, version, learnedFrom.value_or(""), result, result ? "" : "javaw.exe missing");
        return result;
    }
    recordCandidate(ctx, javaExe, version, learnedFrom.value_or(""), result, reason);
    logInfo(ctx, "checkJavaExe returning %d", result ? 1 : 0);
    return result;
}

bool testJavaExe(Process& ctx, const Config& config, std::string& javaExe, const std::string& minimum,
                 const std::string& maximum, PreRelease preRelease, VersionCache versionCache) {
    std::string version;
    return checkJavaExe(ctx, config, javaExe, version, minimum, maximum, preRelease, versionCache);
}

bool findJavaExeInHome(Process& ctx, const Config& config, std::string& javaExe, const std::string& javaHome) {
    javaExe = javaHome + "\\jre\\bin\\java.exe";
    const bool modern = versionRules(config) == VersionRules::Modern;
    if (getConfigInt(config, key::kJdkRequired) != 0) {
        bool kit = fileExists(ctx, javaHome + "\\lib\\tools.jar");
        if (modern) {
            // Kits since 9 have neither tools.jar nor a jre\ of their own; javac.exe marks them.
            kit = kit || fileExists(ctx, javaHome + "\\bin\\javac.exe");
            if (!fileExists(ctx, javaExe)) javaExe = javaHome + "\\bin\\java.exe";
        }
        if (!kit) recordCandidate(ctx, javaExe, "", "", false, "not a development kit");
        return kit;
    }
    if (!fileExists(ctx, javaExe)) javaExe = javaHome + "\\bin\\java.exe";
    return true;
}

}  // namespace kavrin
