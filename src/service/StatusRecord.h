// The one SERVICE_STATUS record of the process and its reports. The control handler
// (main thread) and serviceMain (its own thread) both change it; every change and the
// report that follows happen under one lock, so a report never mixes two changes and
// the manager sees the changes in the order they were made.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/Services.h"

namespace kavrin {

namespace status {
constexpr uint32_t kServiceType = 0x30;    // own-process and shared-process bits
constexpr uint32_t kControlsAccepted = 5;  // stop and shutdown
constexpr uint32_t kWaitHintMs = 50000;
}  // namespace status

// What happened to the service; each maps to one row of the status table.
enum class StatusEvent {
    Launched,  // the application's main returned
    StopControl,
    ShutdownControl,
    OtherControl,   // interrogate and anything else: report unchanged
    StopHandled,    // the application was asked to exit
    LaunchFailed,   // no JVM, or the launch failed
    ProcessEnding,  // exit hook: only when not yet stopped
    StopProgress,   // still stopping: the checkpoint advances so the manager keeps waiting
};

// The wait hint while a supervised stop advances its checkpoint once a second.
constexpr uint32_t kStopProgressWaitHintMs = 3000;

// ERROR_SERVICE_SPECIFIC_ERROR: the service-specific field holds the real code.
constexpr uint32_t kServiceSpecificError = 1066;

// The record as serviceMain fills it before registering the handler.
ServiceStatus initialServiceStatus();

struct StatusChange {
    ServiceStatus status;
    bool report = true;
};
// Pure: the table of states. processExitCode is what the process ends with, when known
// (ProcessEnding only): ending other than from stop pending is a failure unless it is 0.
StatusChange nextServiceStatus(const ServiceStatus& current, StatusEvent event,
                               std::optional<uint32_t> processExitCode = std::nullopt);

class StatusRecord {
public:
    explicit StatusRecord(ServiceControl& services) : services_(services) {}

    void fill(const ServiceStatus& status);  // no report
    void report();
    void apply(StatusEvent event);
    // For exit hooks: other threads may have been killed by ExitProcess while holding
    // the lock, so wait for it only briefly and then report all the same.
    void applyAtProcessEnd(std::optional<uint32_t> processExitCode);
    ServiceStatus snapshot();

private:
    void applyLocked(StatusEvent event, std::optional<uint32_t> processExitCode = std::nullopt);

    ServiceControl& services_;
    std::timed_mutex mutex_;
    ServiceStatus status_;
};

}  // namespace kavrin
