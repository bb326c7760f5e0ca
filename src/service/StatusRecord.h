// The one SERVICE_STATUS record of the process and its reports. The control handler
// (main thread) and serviceMain (its own thread) both change it; every change and the
// report that follows happen under one lock, so a report never mixes two changes and
// the manager sees the changes in the order they were made.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/Services.h"

namespace kavrin {

namespace status {
constexpr uint32_t kServiceType = 0x30;        // own-process and shared-process bits
constexpr uint32_t kControlsAccepted = 5;      // stop and shutdown
constexpr uint32_t kWaitHintMs = 50000;
}  // namespace status

// What happened to the service; each maps to one row of the status table.
enum class StatusEvent {
    Launched,       // the application's main returned
    StopControl,
    ShutdownControl,
    OtherControl,   // interrogate and anything else: report unchanged
    StopHandled,    // the application was asked to exit
    LaunchFailed,   // no JVM, or the launch failed
    ProcessEnding,  // exit hook: only when not yet stopped
};

// The record as serviceMain fills it before registering the handler.
ServiceStatus initialServiceStatus();

struct StatusChange {
    ServiceStatus status;
    bool report = true;
};
// Pure: the table of states.
StatusChange nextServiceStatus(const ServiceStatus& current, StatusEvent event);

class StatusRecord {
public:
    explicit StatusRecord(ServiceControl& services) : services_(services) {}

    void fill(const ServiceStatus& status);  // no report
    void report();
    void apply(StatusEvent event);
    // For exit hooks: other threads may have been killed by ExitProcess while holding
    // the lock, so wait for it only briefly and then report all the same.
    void applyAtProcessEnd();
    ServiceStatus snapshot();

private:
    void applyLocked(StatusEvent event);

    ServiceControl& services_;
    std::timed_mutex mutex_;
    ServiceStatus status_;
};

}  // namespace kavrin
