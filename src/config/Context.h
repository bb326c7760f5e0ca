// The launcher's process-wide state: the platform, the configuration read at start-up,
// the log and the clean-up list. What each stage makes (the extraction, the loaded JVM
// library, the running JVM) is a value that stage returns, not a field here.
// Tests build their own over fakes.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kavrin {

struct SearchTrace;

// The two tables of the configuration block, separate key spaces.
struct ConfigTables {
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::u16string> wide;
};

struct LogState {
    bool tried = false;
    std::unique_ptr<TextOut> stream;
    std::optional<std::string> path;
    // Off by the environment: lines are held until the configuration has said
    // whether it switches the log on (switchLogFromConfig).
    bool holding = false;
    std::vector<std::string> held;
};

struct Context {
    explicit Context(Platform& platform) : os(platform) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Platform& os;

    // Configuration (loaded once by readConfig, read-only afterwards).
    ConfigTables config;
    uint32_t configEndPosition = 0;
    bool useMessageBox = true;

    // Path caches, filled on first use.
    std::optional<std::string> executablePath;
    std::optional<std::string> executableDirectory;

    LogState log;
    std::vector<std::string> cleanupList;
    // The code the process is ending with, once something decided it (fatal reporting,
    // the JVM's exit hook); the service's process-end report reads it. -1: not known.
    std::atomic<int64_t> exitCode{-1};
    // Set once the process runs as the service: errors go to the event log under this
    // source instead of a console or message box nobody sees.
    std::optional<std::string> eventSource;

    // JVM probing.
    bool useVersionCache = true;
    uint32_t probeTimeoutMs = 60000;  // test seam: shortened only by tests
    // Set by -diagnose: the search records every candidate and unpacks nothing.
    SearchTrace* searchTrace = nullptr;
};

}  // namespace kavrin
