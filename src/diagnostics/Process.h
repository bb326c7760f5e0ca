// What stays process-wide in the launcher: the platform, the log, fatal reporting and the
// clean-up list. The configuration is a separate immutable value (config/Config.h), and
// what each stage makes (the extraction, the JVM choice, the loaded library, the running
// JVM) is a value that stage returns. Tests build their own over fakes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kavrin {

struct LogState {
    bool tried = false;
    std::unique_ptr<TextOut> stream;
    std::optional<std::string> path;
    // Off by the environment: lines are held until the configuration has said
    // whether it switches the log on (switchLogFromConfig).
    bool holding = false;
    std::vector<std::string> held;
};

// How errors reach a person; set once the configuration is read.
struct FatalReporting {
    bool useMessageBox = true;
    std::string caption;
    // Set once the process runs as the service: errors go to the event log under this
    // source instead of a console or message box nobody sees.
    std::optional<std::string> eventSource;
    // The source to use instead when the service manager started the process, which is
    // only asked when there is an error to show: most starts have none.
    std::optional<std::string> eventSourceIfServiceStart;
    // The code the process is ending with, once something decided it (fatal reporting,
    // the JVM's exit hook); the service's process-end report reads it. -1: not known.
    std::atomic<int64_t> exitCode{-1};
};

// How the JVM search runs in this process.
struct SearchTrace;
struct SearchMode {
    uint32_t probeTimeoutMs = 60000;  // test seam: shortened only by tests
    // Set by -diagnose: the search records every candidate and unpacks nothing.
    SearchTrace* trace = nullptr;
};

struct Process {
    explicit Process(Platform& platform) : os(platform) {}
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    Platform& os;
    LogState log;
    FatalReporting fatal;
    std::vector<std::string> cleanupList;
    // Kept open for the life of the process (the extraction directory): in use for certain,
    // so a deletion queue run leaves them for a later start without trying.
    std::vector<std::string> heldDirectories;
    SearchMode search;

    // Left open by the configuration read for the extraction, which reads on from there
    // and closes it: one open of the executable per start instead of two.
    std::unique_ptr<File> ownExecutable;

    // Path caches, filled on first use.
    std::optional<std::string> executablePath;
    std::optional<std::string> executableDirectory;
};

}  // namespace kavrin
