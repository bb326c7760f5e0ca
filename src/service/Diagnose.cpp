#include "service/Diagnose.h"

#include "config/Config.h"
#include "config/Keys.h"
#include "files/Paths.h"
#include "jvm/LoadDll.h"
#include "jvm/Search.h"
#include "jvm/Version.h"
#include "launch/VmOptions.h"
#include "launch/jni/JavaVMLauncher.h"

namespace kavrin {

namespace {

void say(Process& ctx, const std::string& line) { ctx.os.console.out(line + "\n"); }

std::string orNone(const std::string& text) { return text.empty() ? "none" : text; }

void printSequence(Process& ctx, const Config& config) {
    say(ctx, std::string("Rules: ") + (versionRules(config) == VersionRules::Modern ? "modern" : "classic") +
                 ", min-version: " + orNone(getConfigString(config, key::kMinVersion)) +
                 ", max-version: " + orNone(getConfigString(config, key::kMaxVersion)));
    say(ctx, "Search sequence, in order:");
    say(ctx, "  the preferred location file (.molvex\\pref_jre.cfg)");
    for (const SearchEntry& entry : parseSearchSequence(getConfigString(config, key::kSearchSequence)))
        say(ctx, std::string("  entry ") + entry.type + entry.argument);
    char flavour = configuredFlavour(config);
    if (flavour == 'k' || flavour == 'm')
        say(ctx, std::string("  the variable ") + (flavour == 'k' ? "KAVRIN_JAVA_HOME" : "MOLVEX_JAVA_HOME"));
    say(ctx, "  the installer location file (.molvex\\inst_jre.cfg)");
    say(ctx, "  a fallback pass over the A, B and R entries (existence only)");
}

// The jvm.dll LoadDLL would load first: the bin directory's, then a kit's jre\bin.
std::string jvmLibraryFor(Process& ctx, const Config& config, const std::string& javaExe) {
    const std::vector<std::string> subdirectories = jvmSubdirectories(getConfigString(config, key::kJvmSubdirectory));
    for (std::string bin : {javaExeDirectory(javaExe), javaExeDirectory(javaExe) + "..\\jre\\bin\\"})
        for (const auto& sub : subdirectories)
            if (fileExists(ctx, bin + sub + "\\jvm.dll")) return bin + sub + "\\jvm.dll";
    return "none found beside " + javaExe;
}

void printLaunchPlan(Process& ctx, const Config& config, const std::string& javaExe) {
    say(ctx, "jvm.dll: " + jvmLibraryFor(ctx, config, javaExe));
    const LauncherVariables vars = launcherVariables(ctx, config, jvmHomeOf(javaExe), "");
    std::vector<std::string> options =
        buildJvmOptions(ctx, config, vars, buildLauncherProperties(ctx, config, vars, 0), {});
    const std::string classPathOption = "-Djava.class.path=";
    if (!options.empty() && options.back().rfind(classPathOption, 0) == 0) {
        say(ctx, "Class path: " + options.back().substr(classPathOption.size()));
        options.pop_back();
    }
    say(ctx, "JVM options (carried files are not extracted by -diagnose):");
    for (const auto& option : options) say(ctx, "  " + option);
}

}  // namespace

std::vector<std::string> candidateLines(const std::vector<CandidateReport>& candidates) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const CandidateReport& c = candidates[i];
        lines.push_back("  " + std::to_string(i + 1) + ". " + c.source + ": " + c.javaExe);
        std::string verdict = c.accepted ? "accepted" : "rejected: " + c.reason;
        if (c.learnedFrom.empty()) lines.push_back("     " + verdict);
        else lines.push_back("     version " + c.version + " (from " + c.learnedFrom + "), " + verdict);
    }
    return lines;
}

int diagnoseVerb(Process& ctx, const Config& config) {
    printSequence(ctx, config);
    SearchTrace trace;
    ctx.search.trace = &trace;
    std::string javaExe, locationName;
    SearchKind kind = searchJvm(ctx, config, javaExe, locationName);
    ctx.search.trace = nullptr;

    say(ctx, "Candidates, in the order considered:");
    if (trace.candidates.empty()) say(ctx, "  none");
    for (const auto& line : candidateLines(trace.candidates)) say(ctx, line);
    say(ctx, "The version cache is per user: the service's account keeps its own.");
    if (kind == SearchKind::None) {
        say(ctx, "Chosen: none; no Java runtime would be loaded.");
        return 1;
    }
    say(ctx, "Chosen: " + javaExe);
    printLaunchPlan(ctx, config, javaExe);
    return 0;
}

}  // namespace kavrin
