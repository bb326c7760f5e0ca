#include "service/ConsoleRun.h"
#include "config/Config.h"

#include <memory>

#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"

namespace kavrin {

bool consoleRunControl(ConsoleRun& run, uint32_t event) {
    logInfo(run.ctx, "ConsoleCtrlHandler event %u", event);
    if (!run.stopping.exchange(true)) {
        runExitCleanup(run.ctx);
        run.stopEvent.signal();
    }
    if (event == ctrlEvent::kClose || event == ctrlEvent::kLogoff || event == ctrlEvent::kShutdown)
        run.ctx.os.clock.sleep(kCloseGraceMs);
    return true;
}

std::vector<std::u16string> consoleRunArguments(Process& ctx, const ServiceRuntime& runtime,
                                                const std::string& serviceName) {
    std::vector<std::u16string> commandLine;
    runtime.splitArguments(ctx, ctx.os.module.commandLineW(), commandLine);
    std::vector<std::u16string> list{ctx.os.codePages.toWide(CodePage::Ansi, serviceName).value_or(u"")};
    // Skips the program and the verb, however the verb was spelled.
    for (size_t i = 2; i < commandLine.size(); ++i) list.push_back(commandLine[i]);
    return list;
}

int runInConsole(Process& ctx, const Config& config, const std::string& serviceName, const ServicePath& path) {
    // Owned by the handler: a console event can arrive on its own thread until the process ends.
    auto run = std::make_shared<ConsoleRun>(ctx);
    // Registered first, so a Ctrl+C during the JVM search stops the application as soon
    // as it is launched instead of killing the process half-way.
    ctx.os.console.addCtrlHandler([run](uint32_t event) { return consoleRunControl(*run, event); });

    ExtractionResult extracted = path.extract(ctx);
    if (extracted.status != 0) reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kExtractionFailed);
    path.runtime.processDeletionQueue(ctx);
    const std::vector<std::u16string> arguments = consoleRunArguments(ctx, path.runtime, serviceName);

    std::optional<RunningJvm> jvm;
    if (std::optional<LoadedJvm> loaded = path.runtime.loadJvm(ctx))
        jvm = path.runtime.launchProgram(ctx, *loaded, extracted.extraction, arguments);
    if (!jvm) return 1;
    run->stopEvent.wait();
    path.runtime.callSystemExit(ctx, *jvm);
    return 0;  // an exit that returned: the application refused it
}

}  // namespace kavrin
