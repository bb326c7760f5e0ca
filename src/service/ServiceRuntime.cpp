// The real subsystems behind serviceMain and the no-verb path.
#include <optional>

#include "files/DeletionQueue.h"
#include "files/Extraction.h"
#include "jvm/LoadDll.h"
#include "launch/Arguments.h"
#include "launch/jni/JavaVMLauncher.h"
#include "service/ServiceMain.h"

namespace kavrin {

ServiceRuntime defaultServiceRuntime() {
    ServiceRuntime runtime;
    runtime.processDeletionQueue = [](Context& ctx) { processDeletionQueue(ctx); };
    runtime.splitArguments = [](Context& ctx, const std::u16string& text, std::vector<std::u16string>& out) {
        splitArguments(ctx, text, out);
    };
    runtime.loadJvm = [](Context& ctx) -> std::optional<LoadedJvm> {
        LoadedJvm jvm = LoadDLL(ctx, ShowErrors::Yes, std::nullopt, LocationIs::Home);
        if (!jvm.loaded()) return std::nullopt;
        return jvm;
    };
    runtime.launchProgram = [](Context& ctx, const LoadedJvm& jvm, const Extraction& extraction,
                               const std::vector<std::u16string>& args) {
        return launchProgram(ctx, jvm, extraction, args);
    };
    runtime.callSystemExit = [](Context& ctx, RunningJvm& jvm) { jvm.callSystemExit(ctx); };
    return runtime;
}

ServicePath defaultServicePath() {
    return ServicePath{[](Context& ctx) { return extractIncludedFiles(ctx); }, defaultServiceRuntime()};
}

}  // namespace kavrin
