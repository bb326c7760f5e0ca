// Test scaffolding for the Wine tests of the JVM location code: runs searchJvm,
// LoadDLL or checkJavaExe on the real Win32 platform with a configuration given
// on the command line, and prints what came out as NAME=value lines.
//
//   kavrin-jvm-driver [--set KEY=VALUE]... [--timeout MS] search
//   kavrin-jvm-driver [--set ...] load [--location PATH --java-exe 0|1] [--quiet]
//   kavrin-jvm-driver [--set ...] check JAVA_EXE [--allow-pre-release]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "config/Config.h"
#include "config/Keys.h"
#include "diagnostics/Log.h"
#include "diagnostics/Process.h"
#include "jvm/LoadDll.h"
#include "jvm/Probe.h"
#include "jvm/Search.h"
#include "platform/win32/Win32Platform.h"

using namespace kavrin;

namespace {

int usage() {
    std::cerr << "usage: kavrin-jvm-driver [--set KEY=VALUE]... [--timeout MS] search|load|check ...\n";
    return 2;
}

void printLog(const Process& ctx) {
    auto path = getLogPath(ctx);
    if (!path) return;
    std::cout << "LOGFILE=" << *path << "\n";
    std::ifstream in(*path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::cout << "---- log ----\n" << text.str() << "---- end ----\n";
}

}  // namespace

int main(int argc, char** argv) {
    win32::Win32Platform win32;
    Process ctx(win32.platform());
    ctx.fatal.useMessageBox = false;
    Config config;

    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        if (args[i] == "--set" && i + 1 < args.size()) {
            const std::string& kv = args[++i];
            size_t eq = kv.find('=');
            if (eq == std::string::npos) return usage();
            config = config.with(std::atoi(kv.substr(0, eq).c_str()), kv.substr(eq + 1));
        } else if (args[i] == "--timeout" && i + 1 < args.size()) {
            ctx.search.probeTimeoutMs = static_cast<uint32_t>(std::strtoul(args[++i].c_str(), nullptr, 10));
        } else {
            return usage();
        }
    }
    if (i >= args.size()) return usage();

    const std::string command = args[i++];
    auto started = std::chrono::steady_clock::now();
    if (command == "search") {
        std::string javaExe, name;
        SearchKind kind = searchJvm(ctx, config, javaExe, name);
        std::cout << "kind=" << static_cast<int>(kind) << "\njavaExe=" << javaExe << "\nname=" << name << "\n";
    } else if (command == "load") {
        std::optional<std::string> location;
        bool isJavaExe = false, showErrors = true;
        for (; i < args.size(); ++i) {
            if (args[i] == "--location" && i + 1 < args.size()) location = args[++i];
            else if (args[i] == "--java-exe" && i + 1 < args.size()) isJavaExe = args[++i] == "1";
            else if (args[i] == "--quiet") showErrors = false;
            else return usage();
        }
        std::cerr.flush();
        const LoadedJvm jvm = LoadDLL(ctx, config, showErrors ? ShowErrors::Yes : ShowErrors::No, location,
                                      isJavaExe ? LocationIs::JavaExe : LocationIs::Home);
        std::cout << "result=" << (jvm.loaded() ? 1 : 0) << "\njvmHome=" << jvm.home
                  << "\ncreateJavaVM=" << (jvm.createJavaVM ? "set" : "none")
                  << "\nPATH=" << ctx.os.env.get("PATH").value_or("")
                  << "\ncrtPATH=" << ctx.os.env.crtGet("PATH").value_or("") << "\n";
    } else if (command == "check") {
        if (i >= args.size()) return usage();
        std::string javaExe = args[i++];
        bool allowPre = i < args.size() && args[i] == "--allow-pre-release";
        std::string version;
        bool ok = checkJavaExe(ctx, config, javaExe, version, getConfigString(config, key::kMinVersion),
                               getConfigString(config, key::kMaxVersion),
                               allowPre ? PreRelease::Allowed : PreRelease::Refused);
        std::cout << "result=" << (ok ? 1 : 0) << "\njavaExe=" << javaExe << "\nversion=" << version << "\n";
    } else {
        return usage();
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::cout << "elapsedMs=" << elapsed.count() << "\n";
    printLog(ctx);
    std::cout.flush();
    return 0;
}
