// kavrin-service.exe: build the real platform and the process state, read the
// configuration, then hand the command line (without the program name) to the launcher.
#include "config/Config.h"
#include "diagnostics/Log.h"
#include "diagnostics/Process.h"
#include "platform/win32/Win32Platform.h"
#include "service/Launcher.h"

int main() {
    kavrin::win32::Win32Platform::hardenSearchOrder();
    // Never destroyed: exit hooks (the service's last status report) run after main
    // returns and still need the platform, the process state and the configuration.
    auto* win32 = new kavrin::win32::Win32Platform;
    auto* ctx = new kavrin::Process(win32->platform());
    // Before it, the system's part: process creation and loading. Only with KAVRIN_LOG set:
    // until the configuration is read nothing else can switch the log on.
    kavrin::logPhase(*ctx, "process main");
    kavrin::routeErrorsOfAServiceStart(*ctx);
    const auto* config = new kavrin::Config(kavrin::readConfig(*ctx));
    return kavrin::launcherMain(*ctx, *config,
                                kavrin::argumentTextFromCommandLine(kavrin::win32::Win32Platform::commandLine()));
}
