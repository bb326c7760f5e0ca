// The process entry with the real subsystems behind the no-verb path. Apart from
// Launcher.cpp so that the start-up and verb logic links without them.
#include "config/Config.h"
#include "service/ConsoleRun.h"
#include "service/Launcher.h"
#include "service/ServiceMain.h"

namespace kavrin {

int launcherMain(Process& ctx, const Config& config, std::string argumentText) {
    initLauncher(ctx, config);
    return dispatchCommand(
        ctx, config, argumentText,
        [&config](Process& c, const std::string& serviceName) {
            return runServiceDispatcher(c, config, serviceName, defaultServicePath(config));
        },
        [&config](Process& c, const std::string& serviceName) {
            return runInConsole(c, config, serviceName, defaultServicePath(config));
        });
}

}  // namespace kavrin
