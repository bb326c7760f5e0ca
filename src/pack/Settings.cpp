#include "pack/Settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "config/Keys.h"
#include "diagnostics/OutputLog.h"
#include "files/Paths.h"
#include "launch/Arguments.h"
#include "pack/Text.h"

namespace kavrin::pack {
namespace {

using K = SettingKind;

// Defaults are the service launcher's own configuration, launcher flavour "k".
constexpr std::array kSettings{
    Setting{"service", "name", key::kServiceName, K::Text, std::nullopt,
            "name the service is installed under (a name after the verb overrides it)", kInScaffold,
            serviceNameProblem},
    Setting{"service", "description", key::kServiceDescription, K::WideText, "",
            "description shown by the service manager; empty: none is set", kInScaffold},
    Setting{"service", "dependencies", key::kDependencies, K::NameList, "", "services that must run before this one"},
    Setting{"service", "display-name", key::kServiceDisplayName, K::Text, std::nullopt,
            "name the service manager shows; unset: the service name"},
    Setting{"service", "account", key::kServiceAccount, K::Text, std::nullopt,
            "LocalSystem (unset), LocalService, NetworkService, virtual, DOMAIN\\name$ or DOMAIN\\user", kNotInScaffold,
            accountProblem},
    Setting{"service", "interactive", key::kServiceInteractive, K::Boolean, std::nullopt,
            "false drops the interactive bit for LocalSystem too (other accounts never get it)"},
    Setting{"service", "delayed-start", key::kServiceDelayedStart, K::Boolean, std::nullopt,
            "an auto-start service starts delayed"},

    Setting{"service.recovery", "actions", key::kRecoveryActions, K::NameList, std::nullopt,
            "what the service manager does after the first, second and later failures: restart or none", kNotInScaffold,
            recoveryActionsProblem},
    Setting{"service.recovery", "restart-delay", key::kRecoveryRestartDelay, K::Integer, std::nullopt,
            "seconds before a restart", kNotInScaffold, nonNegativeProblem},
    Setting{"service.recovery", "reset-period", key::kRecoveryResetPeriod, K::Integer, std::nullopt,
            "seconds without failure after which the failure count starts again", kNotInScaffold, nonNegativeProblem},
    Setting{"service.recovery", "non-crash-failures", key::kRecoveryNonCrashFailures, K::Boolean, std::nullopt,
            "a stop with a non-zero exit code counts as a failure"},

    Setting{"service.stop", "timeout", key::kStopTimeout, K::Integer, std::nullopt,
            "seconds the application has to end after a stop before the launcher ends it", kNotInScaffold,
            nonNegativeProblem},
    Setting{"service.stop", "preshutdown-timeout", key::kPreshutdownTimeout, K::Integer, std::nullopt,
            "accept the pre-shutdown control and let Windows wait this many seconds for the stop", kNotInScaffold,
            nonNegativeProblem},

    Setting{"launcher", "type", key::kLauncherType, K::Integer, "4",
            "launcher type: 4 service (auto-start, errors on stderr), 1 GUI, 5 console with message box",
            kNotInScaffold, launcherTypeProblem},
    Setting{"launcher", "flavour", key::kFlavour, K::Flavour, "k",
            "\"k\": KAVRIN_JAVA_HOME is tried after the search sequence; \"m\": installer flavour"},
    Setting{"launcher", "reuse-extraction", key::kReuseExtraction, K::Boolean, "1",
            "a start takes the extraction directory an earlier start left when its files are byte-identical"},
    Setting{"launcher", "working-directory", key::kWorkingDirectory, K::Text, ".",
            "working directory, relative to the executable's directory; empty: unchanged"},
    Setting{"launcher", "install-directory", key::kInstallDirectory, K::Text, "..\\",
            "installation directory (holds .molvex), relative to the executable's directory"},
    Setting{"launcher", "path-prepend", key::kPathPrepend, K::DirectoryList, "",
            "directories put in front of PATH, relative to the executable's directory"},
    Setting{"launcher", "process-comm-file", key::kPassProcessCommFile, K::Boolean, "0",
            "pass a process communication file name to the JVM (kavrin.processCommFile)"},

    Setting{"java", "main-class", key::kMainClass, K::Text, std::nullopt, "the application's main class, dotted",
            kInScaffold, mainClassProblem},
    Setting{"java", "class-path", key::kClassPath, K::ClassPath, "S0lib;",
            "class path entries: type A/D/E/S, flag 0 (optional) or 1 (mandatory), then the path "
            "(relative: to the executable's directory)",
            kInScaffold},
    Setting{"java", "vm-options", key::kVmParameters, K::Text, " -Xrs",
            "JVM options, variables expanded, split like a command line", kInScaffold, quoteProblem},
    Setting{"java", "arguments", key::kArguments, K::Text, "",
            "fixed application arguments, variables expanded, split like a command line", kNotInScaffold, quoteProblem},
    Setting{"java", "route-j-arguments", key::kRouteJArguments, K::Boolean, "1",
            "\"-J\" arguments of the command line become JVM options"},

    Setting{"jvm", "search-sequence", key::kSearchSequence, K::SearchSequence, "Bjre;Rjre;",
            "where to look for a Java runtime: A/B/R directory, E variable, S search path, Y registry", kInScaffold},
    // 1.8: the start classes are class-file version 52.
    Setting{"jvm", "min-version", key::kMinVersion, K::Text, "1.8",
            "lowest accepted Java version (\"1.8\" and \"8\" are one under modern rules); empty: no bound",
            kInScaffold},
    Setting{"jvm", "max-version", key::kMaxVersion, K::Text, "",
            "highest accepted Java version (\"17\" admits every 17.x); empty: no bound", kInScaffold},
    Setting{"jvm", "rules", key::kJvmRules, K::Text, "modern",
            "\"modern\": versions compare as numbers (1.8.0_392 is 8.0.392), OpenJDK builds and current "
            "installers' registry keys are found; \"classic\": versions compare as text",
            kInScaffold, rulesProblem},
    Setting{"jvm", "allow-pre-release", key::kAllowPreRelease, K::Boolean, "0",
            "accept beta/ea/rc runtimes everywhere"},
    Setting{"jvm", "jdk-required", key::kJdkRequired, K::Boolean, "0", "accept only Java homes with lib\\tools.jar"},
    Setting{"jvm", "library-subdirectory", key::kJvmSubdirectory, K::Text, "",
            "JVM library subdirectory tried first; empty: hotspot"},

    Setting{"start-class", "pass-error-log", key::kPassErrorLog, K::Boolean, "0",
            "hand the error log file to the start class"},
    Setting{"start-class", "error-log", key::kErrorLogFile, K::Text, "error.log",
            "error log file, relative to the executable's directory"},
    Setting{"start-class", "pass-output-log", key::kPassOutputLog, K::Boolean, "0",
            "hand the output log file to the start class"},
    Setting{"start-class", "output-log", key::kOutputLogFile, K::Text, "output.log",
            "output log file, relative to the executable's directory"},
    Setting{"start-class", "fifth-parameter", key::kStartClassFlag, K::Boolean, "1",
            "the start class's fifth parameter (\"true\"/\"false\")"},

    Setting{"log", "launcher", key::kLogLauncher, K::Boolean, "0",
            "write the launcher's diagnostic log to the temporary directory, as KAVRIN_LOG=yes does", kInScaffold},
    Setting{"log", "capture", key::kLogCapture, K::Boolean, "1",
            "write the service's standard output and error to <service>.out.log and <service>.err.log", kInScaffold},
    Setting{"log", "directory", key::kLogDirectory, K::Text, "logs",
            "directory of the captured output, relative to the executable's directory", kInScaffold},
    Setting{"log", "max-size", key::kLogMaxSize, K::Text, "10MB",
            "size at which a captured output file is rotated: bytes, or a number with KB, MB or GB", kInScaffold,
            maxSizeProblem},
    Setting{"log", "keep", key::kLogKeep, K::Integer, "5", "rotated output files kept beside the current one",
            kInScaffold, keepProblem},

    Setting{"messages", "caption", key::kMsgCaption, K::Text, "Error", "caption of error message boxes"},
    Setting{"messages", "no-jvm", key::kMsgNoJvm, K::Text,
            "No Java runtime in the accepted version range could be found.\nPlease install one or define "
            "KAVRIN_JAVA_HOME\nto point to an installed JDK or JRE.\nRun the program with -diagnose to see "
            "each runtime it found and why it was refused.",
            "no usable Java runtime found"},
    Setting{"messages", "path-jvm-damaged", key::kMsgPathJvmDamaged, K::Text,
            "The JVM found in your path is damaged.\nPlease reinstall or define KAVRIN_JAVA_HOME\nto "
            "point to an installed JDK or JRE.",
            "the runtime found on the search path failed to load"},
    Setting{"messages", "variable-jvm-damaged", key::kMsgEnvJvmDamaged, K::Text,
            "The {0} envionment variable does not\npoint to a working JDK or JRE.",
            "the runtime named by a variable ({0}) failed to load"},
    Setting{"messages", "location-jvm-damaged", key::kMsgLocationJvmDamaged, K::Text,
            "The JVM found at {0} is damaged.\nPlease reinstall or define KAVRIN_JAVA_HOME\nto point "
            "to an installed JDK or JRE.",
            "the runtime at a location ({0}) failed to load"},
    Setting{"messages", "jvm-start-failed", key::kMsgJvmStartFailed, K::Text,
            "The JVM could not be started. The main method may have thrown an exception.", "the JVM failed to start"},
    Setting{"messages", "class-path-entry-missing", key::kMsgClassPathMissing, K::Text,
            "File or directory {0} not found or empty\n", "a mandatory class path entry ({0}) is missing"},
    Setting{"messages", "wrong-parameter-usage", key::kMsgWrongParameter, K::Text, "Wrong Parameter Usage",
            "a quote without its closing partner"},
    Setting{"messages", "variable-undefined", key::kMsgEnvVarMissing, K::Text,
            "The environment variable {0} has to be defined", "a mandatory class path variable ({0}) is undefined"},
    Setting{"messages", "internal-error", key::kMsgInternalError, K::Text,
            "An internal error occurred (error code: {0})", "internal error with its number ({0})"},
    Setting{"messages", "main-class-not-found", key::kMsgNoMainClass, K::Text, "Couldn't load main class.",
            "the start class is not on the class path"},
    Setting{"messages", "main-method-not-found", key::kMsgNoMainMethod, K::Text, "Main method not found.",
            "the start class has no main method"},
    Setting{"messages", "other-caption", key::kMsg1012, K::Text, "Error",
            "carried for other launchers; the service launcher does not read it"},
    Setting{"messages", "ok-button", key::kMsg1013, K::Text, "Ok",
            "carried for other launchers; the service launcher does not read it"},
    Setting{"messages", "startup-error", key::kMsg1014, K::Text, "An error occurred while starting up {0}:",
            "carried for other launchers; the service launcher does not read it"},
};

constexpr std::array<std::string_view, 9> kSections{"service", "service.recovery", "service.stop", "launcher", "java",
                                                    "jvm",     "start-class",      "log",          "messages"};

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? text.size() - start : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

const std::vector<std::string>& asList(const SettingValue& value, SettingKind kind) {
    if (auto* list = std::get_if<std::vector<std::string>>(&value)) return *list;
    throw SettingProblem("expected " + std::string(expectedType(kind)));
}

const std::string& asString(const SettingValue& value, SettingKind kind) {
    if (auto* text = std::get_if<std::string>(&value)) return *text;
    throw SettingProblem("expected " + std::string(expectedType(kind)));
}

// Entries separated in the block by `separator` must not hold it themselves.
void checkListEntries(const std::vector<std::string>& entries, char separator, std::string_view what) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].empty()) throw SettingProblem("empty " + std::string(what), i);
        if (entries[i].find(separator) != std::string::npos)
            throw SettingProblem(
                std::string(what) + " '" + entries[i] + "' contains the separator '" + std::string(1, separator) + "'",
                i);
    }
}

std::string joinEach(const std::vector<std::string>& entries, std::string_view after) {
    std::string text;
    for (const auto& entry : entries) text.append(entry).append(after);
    return text;
}

std::string joinBetween(const std::vector<std::string>& entries, char separator) {
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) text += separator;
        text += entries[i];
    }
    return text;
}

// The inverse of joinEach(";"): none when the text has empty entries or no final ";".
std::optional<std::vector<std::string>> splitTerminated(std::string_view text) {
    if (text.empty()) return std::vector<std::string>{};
    if (text.back() != ';') return std::nullopt;
    auto parts = split(text.substr(0, text.size() - 1), ';');
    for (const auto& part : parts)
        if (part.empty()) return std::nullopt;
    return parts;
}

std::optional<std::vector<std::string>> splitSeparated(std::string_view text, char separator) {
    if (text.empty()) return std::vector<std::string>{};
    auto parts = split(text, separator);
    for (const auto& part : parts)
        if (part.empty()) return std::nullopt;
    return parts;
}

std::string kindToBlockText(const Setting& setting, const SettingValue& value);

}  // namespace

std::span<const Setting> allSettings() { return kSettings; }
std::span<const std::string_view> settingSections() { return kSections; }

const Setting* findSetting(std::string_view section, std::string_view name) {
    for (const auto& setting : kSettings)
        if (setting.section == section && setting.name == name) return &setting;
    return nullptr;
}

const Setting* findSettingByKey(int32_t key, bool wide) {
    for (const auto& setting : kSettings)
        if (setting.key == key && (setting.kind == SettingKind::WideText) == wide) return &setting;
    return nullptr;
}

std::string_view expectedType(SettingKind kind) {
    switch (kind) {
    case K::Text:
    case K::WideText:
    case K::Flavour: return "a string";
    case K::Integer: return "an integer";
    case K::Boolean: return "a boolean (true or false)";
    case K::ClassPath:
    case K::SearchSequence:
    case K::NameList:
    case K::DirectoryList: return "an array of strings";
    }
    return "a value";
}

std::optional<std::string> classPathEntryProblem(std::string_view entry) {
    if (entry.size() < 2)
        return "class path entry '" + std::string(entry) +
               "' is too short: it needs a type letter (A, D, E or S), a flag (0 or 1) and a path";
    if (std::string_view("ADES").find(entry[0]) == std::string_view::npos)
        return "class path entry '" + std::string(entry) + "' has the type letter '" + std::string(1, entry[0]) +
               "'; expected A (archive), D (directory), E (environment variable) or S (directory to scan)";
    if (entry[1] != '0' && entry[1] != '1')
        return "class path entry '" + std::string(entry) + "' has the flag '" + std::string(1, entry[1]) +
               "'; expected 0 (optional) or 1 (mandatory)";
    if (entry.find(';') != std::string_view::npos)
        return "class path entry '" + std::string(entry) + "' contains ';', which separates entries";
    if (entry[0] == 'E' && entry.size() == 2)
        return "class path entry '" + std::string(entry) + "' names no environment variable";
    return std::nullopt;
}

std::optional<std::string> searchEntryProblem(std::string_view entry) {
    if (entry.empty()) return "empty search sequence entry";
    if (std::string_view("ABREYS").find(entry[0]) == std::string_view::npos)
        return "search sequence entry '" + std::string(entry) + "' has the unknown type letter '" +
               std::string(1, entry[0]) +
               "'; expected A, B or R (Java home directory), E (environment variable), S (search path) or Y "
               "(registry)";
    if (entry.find(';') != std::string_view::npos)
        return "search sequence entry '" + std::string(entry) + "' contains ';', which separates entries";
    if (entry[0] == 'E' && entry.size() == 1) return "search sequence entry 'E' names no environment variable";
    return std::nullopt;
}

std::optional<std::string> serviceNameProblem(std::string_view name) {
    if (name.size() > 256)
        return "service name of " + std::to_string(name.size()) + " characters; the service manager takes at most 256";
    if (name.find_first_of("/\\") != std::string_view::npos)
        return "service name '" + std::string(name) + "' holds a slash, which the service manager refuses";
    return std::nullopt;
}

std::optional<std::string> mainClassProblem(std::string_view name) {
    auto letter = [](unsigned char c) { return std::isalpha(c) || c == '_' || c == '$' || c >= 0x80; };
    bool good = !name.empty();
    for (size_t start = 0; good && start <= name.size();) {
        size_t end = std::min(name.find('.', start), name.size());
        std::string_view part = name.substr(start, end - start);
        good = !part.empty() && letter(static_cast<unsigned char>(part[0])) &&
               std::all_of(part.begin(), part.end(), [&](char c) {
                   return letter(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c));
               });
        start = end + 1;
    }
    if (good) return std::nullopt;
    return "main class '" + std::string(name) + "' is not a dotted Java class name such as com.example.Main";
}

std::optional<std::string> accountProblem(std::string_view text) {
    for (std::string_view known : {"LocalSystem", "LocalService", "NetworkService", "virtual"})
        if (text == known) return std::nullopt;
    const size_t slash = text.find('\\');
    if (slash != std::string_view::npos && slash > 0 && slash + 1 < text.size()) return std::nullopt;
    return "account '" + std::string(text) +
           "' is not LocalSystem, LocalService, NetworkService, virtual or DOMAIN\\name (.\\name for a local user)";
}

std::optional<std::string> recoveryActionsProblem(std::string_view text) {
    for (const auto& action : split(text, ','))
        if (action != "restart" && action != "none")
            return "recovery action '" + action + "' is not \"restart\" or \"none\"";
    if (split(text, ',').size() > 3) return "at most three recovery actions: first, second and later failures";
    return std::nullopt;
}

std::optional<std::string> nonNegativeProblem(std::string_view text) {
    if (!text.empty() && text[0] == '-') return "a negative number of seconds";
    return std::nullopt;
}

std::optional<std::string> launcherTypeProblem(std::string_view text) {
    if (text == "1" || text == "4" || text == "5") return std::nullopt;
    return "launcher type " + std::string(text) +
           " is unknown to the launcher; use 4 (service), 1 (GUI) or 5 (console with message box)";
}

std::optional<std::string> rulesProblem(std::string_view text) {
    if (text == "modern" || text == "classic") return std::nullopt;
    return "rules '" + std::string(text) + "' is neither \"modern\" nor \"classic\"";
}

std::optional<std::string> maxSizeProblem(std::string_view text) {
    if (parseByteSize(text)) return std::nullopt;
    return "size '" + std::string(text) + "' is not a number of bytes, KB, MB or GB from 1KB to 2GB, such as \"10MB\"";
}

std::optional<std::string> keepProblem(std::string_view text) {
    if (text.size() <= 3 && text.find_first_not_of("0123456789") == std::string_view::npos && !text.empty())
        return std::nullopt;
    return "keep " + std::string(text) + " is not a count from 0 to 999";
}

std::optional<std::string> quoteProblem(std::string_view text) {
    if (splitArgumentText(utf8ToUtf16(text))) return std::nullopt;
    return "a quote in '" + std::string(text) +
           "' has no closing partner; the launcher would stop with \"Wrong Parameter Usage\"";
}

bool climbsAboveExecutable(std::string_view path) {
    for (std::string_view exeDir : {"%KAVRIN_EXEDIR%", "%MOLVEX_EXEDIR%", "${KAVRIN_EXEDIR}", "${MOLVEX_EXEDIR}",
                                    "${launcher:sys.launcherDirectory}"})
        if (path.substr(0, exeDir.size()) == exeDir) path.remove_prefix(exeDir.size());
    if (path.find_first_of("%$") != std::string_view::npos || !isRelativePath(std::string(path))) return false;
    int depth = 0;
    for (const auto& part : split(path, '\\'))
        for (const auto& name : split(part, '/')) {
            if (name == "..") --depth;
            else if (!name.empty() && name != ".") ++depth;
            if (depth < 0) return true;
        }
    return false;
}

std::optional<std::string_view> nearestName(std::string_view word, std::span<const std::string_view> names) {
    // Edit distance, one row at a time.
    auto distance = [](std::string_view a, std::string_view b) {
        std::vector<size_t> row(b.size() + 1);
        for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
        for (size_t i = 1; i <= a.size(); ++i) {
            size_t diagonal = row[0];
            row[0] = i;
            for (size_t j = 1; j <= b.size(); ++j) {
                size_t above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        return row[b.size()];
    };
    std::optional<std::string_view> best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 3) + 1;
    for (auto name : names) {
        size_t d = distance(word, name);
        if (d < bestDistance) best = name, bestDistance = d;
    }
    return best;
}

std::string settingToBlockText(const Setting& setting, const SettingValue& value) {
    std::string text = kindToBlockText(setting, value);
    if (setting.check)
        if (auto problem = setting.check(text)) throw SettingProblem(*problem);
    return text;
}

namespace {
std::string kindToBlockText(const Setting& setting, const SettingValue& value) {
    switch (setting.kind) {
    case K::Text:
    case K::WideText: return asString(value, setting.kind);
    case K::Flavour: {
        const auto& text = asString(value, setting.kind);
        if (text != "k" && text != "m" && !text.empty())
            throw SettingProblem("flavour '" + text + "' is not \"k\" (launcher), \"m\" (installer) or \"\" (neither)");
        return text;
    }
    case K::Integer: {
        auto* number = std::get_if<int64_t>(&value);
        if (!number) throw SettingProblem("expected " + std::string(expectedType(setting.kind)));
        if (*number < INT32_MIN || *number > INT32_MAX)
            throw SettingProblem(std::to_string(*number) + " does not fit a signed 32-bit integer");
        return std::to_string(*number);
    }
    case K::Boolean: {
        auto* flag = std::get_if<bool>(&value);
        if (!flag) throw SettingProblem("expected " + std::string(expectedType(setting.kind)));
        return *flag ? "1" : "0";
    }
    case K::ClassPath: {
        const auto& entries = asList(value, setting.kind);
        for (size_t i = 0; i < entries.size(); ++i)
            if (auto problem = classPathEntryProblem(entries[i])) throw SettingProblem(*problem, i);
        return joinEach(entries, ";");
    }
    case K::SearchSequence: {
        const auto& entries = asList(value, setting.kind);
        for (size_t i = 0; i < entries.size(); ++i)
            if (auto problem = searchEntryProblem(entries[i])) throw SettingProblem(*problem, i);
        return joinEach(entries, ";");
    }
    case K::NameList: {
        const auto& names = asList(value, setting.kind);
        checkListEntries(names, ',', "service name");
        return joinBetween(names, ',');
    }
    case K::DirectoryList: {
        const auto& directories = asList(value, setting.kind);
        checkListEntries(directories, ';', "directory");
        return joinBetween(directories, ';');
    }
    }
    throw SettingProblem("unsupported setting");
}
}  // namespace

std::optional<SettingValue> blockTextToSetting(const Setting& setting, std::string_view text) {
    std::optional<SettingValue> value;
    switch (setting.kind) {
    case K::Text:
    case K::WideText:
    case K::Flavour: value = std::string(text); break;
    case K::Integer: {
        int64_t number = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (ec == std::errc() && end == text.data() + text.size()) value = number;
        break;
    }
    case K::Boolean:
        if (text == "1") value = true;
        if (text == "0") value = false;
        break;
    case K::ClassPath:
    case K::SearchSequence:
        if (auto entries = splitTerminated(text)) value = std::move(*entries);
        break;
    case K::NameList:
        if (auto names = splitSeparated(text, ',')) value = std::move(*names);
        break;
    case K::DirectoryList:
        if (auto directories = splitSeparated(text, ';')) value = std::move(*directories);
        break;
    }
    if (!value) return std::nullopt;
    // Only a value that passes the builder's checks and writes the same text back counts.
    try {
        if (settingToBlockText(setting, *value) != text) return std::nullopt;
    } catch (const SettingProblem&) {
        return std::nullopt;
    }
    return value;
}

}  // namespace kavrin::pack
