// A test build of the launcher's start-up: the real configuration reading and
// initLauncher over the real platform, then both copies of PATH and the working
// directory on standard output, one "key=value" line each. Packed like the stub.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "platform/win32/Win32Platform.h"
#include "service/Launcher.h"

int main() {
    kavrin::win32::Win32Platform win32;
    kavrin::Process ctx(win32.platform());
    kavrin::initLauncher(ctx, kavrin::readConfig(ctx));
    std::optional<std::string> path = ctx.os.env.get("PATH");
    const char* crtPath = std::getenv("PATH");
    std::optional<kavrin::FullPath> cwd = ctx.os.fs.fullPathName(".");
    std::printf("PATH=%s\ncrt_PATH=%s\ncwd=%s\n", path ? path->c_str() : "<none>", crtPath ? crtPath : "<none>",
                cwd ? cwd->path.c_str() : "<none>");
    return 0;
}
