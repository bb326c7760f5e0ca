// The real subsystems behind serviceMain and the no-verb path.
#include <optional>

#include "files/DeletionQueue.h"
#include "files/Extraction.h"
#include "jvm/LoadDll.h"
#include "launch/Arguments.h"
#include "launch/jni/JavaVMLauncher.h"
#include "service/ServiceMain.h"

namespace kavrin {

ServiceRuntime defaultServiceRuntime(const Config& config) {
    ServiceRuntime runtime;
    runtime.processDeletionQueue = [](Process& ctx) { processDeletionQueue(ctx); };
    runtime.splitArguments = [&config](Process& ctx, const std::u16string& text, std::vector<std::u16string>& out) {
        splitArguments(ctx, config, text, out);
    };
    runtime.loadJvm = [&config](Process& ctx) -> std::optional<LoadedJvm> {
        LoadedJvm jvm = LoadDLL(ctx, config, ShowErrors::Yes, std::nullopt, LocationIs::Home);
        if (!jvm.loaded()) return std::nullopt;
        return jvm;
    };
    runtime.launchProgram = [&config](Process& ctx, const LoadedJvm& jvm, const Extraction& extraction,
                                      const std::vector<std::u16string>& args) {
        return launchProgram(ctx, config, jvm, extraction, args);
    };
    runtime.callSystemExit = [](Process& ctx, RunningJvm& jvm) { jvm.callSystemExit(ctx); };
    return runtime;
}

ServicePath defaultServicePath(const Config& config) {
    return ServicePath{[&config](Process& ctx) { return extractIncludedFiles(ctx, config); },
                       defaultServiceRuntime(config)};
}

}  // namespace kavrin
