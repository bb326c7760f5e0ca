// kavrin-service.exe: build the real platform and the context, then hand the
// command line (without the program name) to the launcher.
#include "platform/win32/WindowsApi.h"

#include "config/Context.h"
#include "platform/win32/Win32Platform.h"
#include "service/Launcher.h"

int main() {
    kavrin::win32::Win32Platform win32;
    kavrin::Context ctx(win32.platform());
    return kavrin::launcherMain(ctx, kavrin::argumentTextFromCommandLine(::GetCommandLineA()));
}
