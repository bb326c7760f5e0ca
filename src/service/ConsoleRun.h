// -run: the application in the foreground, through the service's start-up path
// (deletion queue, extraction, JVM search, loading, launch), until Ctrl+C, Ctrl+Break
// or the console closes. Output stays on the console.
//
// Usage (dispatchCommand's run path):
//   return runInConsole(ctx, config, serviceName, defaultServicePath());
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "service/ServiceMain.h"
#include "service/StopEvent.h"

namespace kavrin {

namespace ctrlEvent {
constexpr uint32_t kCtrlC = 0;
constexpr uint32_t kBreak = 1;
constexpr uint32_t kClose = 2;
constexpr uint32_t kLogoff = 5;
constexpr uint32_t kShutdown = 6;
}  // namespace ctrlEvent

// Windows ends the process once a close, logoff or shutdown handler returns, so the
// handler waits this long for the application's exit to end it first.
constexpr uint32_t kCloseGraceMs = 20000;

struct ConsoleRun {
    explicit ConsoleRun(Process& context) : ctx(context) {}
    Process& ctx;
    StopEvent stopEvent;
    std::atomic<bool> stopping{false};
};

// The handler for every console event: the first one queues the clean-up and starts the
// stop; all are handled, so the default handler never ends the process.
bool consoleRunControl(ConsoleRun& run, uint32_t event);

// The launcher argument list of -run: the service name, then the command line after the verb.
std::vector<std::u16string> consoleRunArguments(Process& ctx, const ServiceRuntime& runtime,
                                                const std::string& serviceName);

// Returns 1 when no JVM could be loaded or launched; otherwise the process ends inside
// the application's exit with its exit code.
int runInConsole(Process& ctx, const Config& config, const std::string& serviceName, const ServicePath& path);

}  // namespace kavrin
