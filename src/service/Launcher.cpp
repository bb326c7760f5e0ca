#include "service/Launcher.h"

#include "config/Config.h"
#include "config/ExePath.h"
#include "config/Keys.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "service/Diagnose.h"
#include "service/Help.h"
#include "service/Verbs.h"

namespace kavrin {

std::string argumentTextFromCommandLine(const std::string& commandLine) {
    auto isBlankOrControl = [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u >= 1 && u <= 32;
    };
    size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        pos = (close == std::string::npos) ? commandLine.size() : close + 1;
    } else {
        while (pos < commandLine.size() && static_cast<unsigned char>(commandLine[pos]) > 32) ++pos;
    }
    while (pos < commandLine.size() && isBlankOrControl(commandLine[pos])) ++pos;
    return commandLine.substr(pos);
}

void prependConfiguredPath(Process& ctx, const Config& config) {
    std::string path = resolvePathList(ctx, getConfigString(config, key::kPathPrepend));
    if (!path.empty() && path.back() != ';') path += ';';
    if (std::optional<std::string> current = ctx.os.env.get("PATH")) path += *current;
    // Built without fixed buffers, so nothing is cut off. A value the environment cannot
    // hold would leave the two copies of PATH disagreeing; keep the old one instead.
    if (path.size() > kMaxEnvironmentValue) {
        logError(ctx, "PATH would be %lld characters long, left unchanged", static_cast<long long>(path.size()));
        return;
    }
    ctx.os.env.set("PATH", path);
    ctx.os.env.crtPut("PATH=" + path);
}

void routeErrorsOfAServiceStart(Process& ctx) {
    const std::string& exe = getExecutablePath(ctx);
    std::string name = exe.substr(exe.find_last_of("\\/") + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    ctx.fatal.eventSourceIfServiceStart = name;
}

void initLauncher(Process& ctx, const Config& config) {
    configureErrorReporting(ctx, config);
    switchLogFromConfig(ctx, getConfigInt(config, key::kLogLauncher) != 0);
    logPhase(ctx, "configuration read");
    prependConfiguredPath(ctx, config);
    std::string workingDirectory = getConfigString(config, key::kWorkingDirectory);
    if (!workingDirectory.empty()) ctx.os.fs.setCurrentDirectory(makeFullPath(ctx, workingDirectory, PathCase::Keep));
}

int runVerb(Process& ctx, const Config& config, Verb verb, const std::string& serviceName) {
    switch (verb) {
    case Verb::Install:
        return installVerb(
            ctx, config, serviceName,
            getConfigInt(config, key::kLauncherType) == launcherType::kService ? scm::kStartAuto : scm::kStartDemand);
    case Verb::InstallAuto: return installVerb(ctx, config, serviceName, scm::kStartAuto);
    case Verb::InstallDemand: return installVerb(ctx, config, serviceName, scm::kStartDemand);
    case Verb::Uninstall: return uninstallVerb(ctx, serviceName, Messages::Print);
    case Verb::Stop: return stopVerb(ctx, serviceName, Messages::Print);
    case Verb::Start: return startVerb(ctx, serviceName);
    case Verb::Status: return statusVerb(ctx, serviceName);
    case Verb::Configure: return configureVerb(ctx, config, serviceName);
    case Verb::Diagnose: return diagnoseVerb(ctx, config);
    case Verb::Help: {
        const std::string exe = ctx.os.module.fileNameA();
        ctx.os.console.out(
            usageText(exe.substr(exe.find_last_of("\\/") + 1), getConfigString(config, key::kServiceName)));
        return 0;
    }
    case Verb::Run: break;  // needs the whole start-up path: dispatchCommand's run path
    }
    return 1;
}

int dispatchCommand(Process& ctx, const Config& config, const std::string& argumentText, const NoVerbPath& noVerb,
                    const RunPath& run) {
    VerbCommand command = parseVerb(argumentText);
    if (command.verb == Verb::Run) return run ? run(ctx, getConfigString(config, key::kServiceName)) : 1;
    const std::string serviceName = command.serviceName.value_or(getConfigString(config, key::kServiceName));
    if (command.verb) return runVerb(ctx, config, *command.verb, serviceName);
    return noVerb(ctx, serviceName);
}

}  // namespace kavrin
