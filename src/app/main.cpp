// kavrin-service.exe: build the real platform and the context, then hand the
// command line (without the program name) to the launcher.
#include "config/Context.h"
#include "platform/win32/Win32Platform.h"
#include "service/Launcher.h"

int main() {
    kavrin::win32::Win32Platform::hardenSearchOrder();
    // Never destroyed: exit hooks (the service's last status report) run after main
    // returns and still need the platform and the context.
    auto* win32 = new kavrin::win32::Win32Platform;
    auto* ctx = new kavrin::Context(win32->platform());
    return kavrin::launcherMain(*ctx, kavrin::argumentTextFromCommandLine(kavrin::win32::Win32Platform::commandLine()));
}
