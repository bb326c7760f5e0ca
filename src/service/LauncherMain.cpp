// The process entry with the real subsystems behind the no-verb path. Apart from
// Launcher.cpp so that the start-up and verb logic links without them.
#include "service/ConsoleRun.h"
#include "service/Launcher.h"
#include "service/ServiceMain.h"

namespace kavrin {

int launcherMain(Context& ctx, std::string argumentText) {
    initLauncher(ctx);
    return dispatchCommand(
        ctx, argumentText,
        [](Context& c, const std::string& serviceName) {
            return runServiceDispatcher(c, serviceName, defaultServicePath());
        },
        [](Context& c, const std::string& serviceName) { return runInConsole(c, serviceName, defaultServicePath()); });
}

}  // namespace kavrin
