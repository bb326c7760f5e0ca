// The real subsystems behind serviceMain and the no-verb path.
#include <optional>

#include "files/DeletionQueue.h"
#include "files/Extraction.h"
#include "jvm/LoadDll.h"
#include "launch/Arguments.h"
#include "launch/windows/JavaVMLauncher.h"
#include "service/ServiceMain.h"

namespace kavrin {

ServiceRuntime defaultServiceRuntime() {
    ServiceRuntime runtime;
    runtime.processDeletionQueue = [](Context& ctx) { processDeletionQueue(ctx); };
    runtime.splitArguments = [](Context& ctx, const std::u16string& text, std::vector<std::u16string>& out) {
        splitArguments(ctx, text, out);
    };
    runtime.loadJvm = [](Context& ctx) { return LoadDLL(ctx, true, std::nullopt, false); };
    runtime.launchProgram = [](Context& ctx, const std::vector<std::u16string>& args) {
        return launchProgram(ctx, args);
    };
    runtime.callSystemExit = [](Context& ctx) { callSystemExit(ctx); };
    return runtime;
}

ServicePath defaultServicePath() {
    return ServicePath{[](Context& ctx) { return extractIncludedFiles(ctx); }, defaultServiceRuntime()};
}

}  // namespace kavrin
