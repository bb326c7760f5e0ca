#include "service/StatusRecord.h"

#include <chrono>

namespace kavrin {

ServiceStatus initialServiceStatus() {
    ServiceStatus s;
    s.serviceType = status::kServiceType;
    s.currentState = scm::kStateRunning;
    s.controlsAccepted = status::kControlsAccepted;
    s.win32ExitCode = 0;
    s.serviceSpecificExitCode = 0;
    s.checkPoint = 0;
    s.waitHint = status::kWaitHintMs;
    return s;
}

StatusChange nextServiceStatus(const ServiceStatus& current, StatusEvent event,
                               std::optional<uint32_t> processExitCode) {
    StatusChange change{current, true};
    ServiceStatus& s = change.status;
    switch (event) {
    case StatusEvent::Launched:
        // A stop that came during the launch stands: never running again after it.
        if (current.currentState != scm::kStateRunning) change.report = false;
        break;
    case StatusEvent::StopControl: s.currentState = scm::kStateStopPending; break;
    case StatusEvent::ShutdownControl:
        s.checkPoint += 1;
        s.currentState = scm::kStateStopPending;
        break;
    case StatusEvent::OtherControl: break;
    case StatusEvent::StopProgress:
        if (current.currentState != scm::kStateStopPending) {
            change.report = false;
            break;
        }
        s.checkPoint += 1;
        s.waitHint = kStopProgressWaitHintMs;
        break;
    case StatusEvent::StopHandled: s.currentState = scm::kStateStopped; break;
    case StatusEvent::LaunchFailed:
        s.currentState = scm::kStateStopped;
        s.win32ExitCode = 1;
        break;
    case StatusEvent::ProcessEnding:
        if (current.currentState == scm::kStateStopped) {
            change.report = false;
            break;
        }
        s.currentState = scm::kStateStopped;
        s.win32ExitCode = 0;
        s.serviceSpecificExitCode = 0;
        if (current.currentState != scm::kStateStopPending) {
            // Nobody asked it to stop: a failure the manager's recovery can act on.
            // No known code (a crash) still counts as one.
            const uint32_t code = processExitCode.value_or(1);
            if (code != 0) {
                s.win32ExitCode = kServiceSpecificError;
                s.serviceSpecificExitCode = code;
            }
        }
        break;
    }
    return change;
}

void StatusRecord::fill(const ServiceStatus& status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

void StatusRecord::report() { apply(StatusEvent::OtherControl); }

void StatusRecord::apply(StatusEvent event) {
    std::lock_guard lock(mutex_);
    applyLocked(event);
}

void StatusRecord::applyAtProcessEnd(std::optional<uint32_t> processExitCode) {
    std::unique_lock lock(mutex_, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(500))) {
        // The holder is gone (ExitProcess ends every other thread first); the record
        // is still whole because each writer finishes its change before it reports.
    }
    applyLocked(StatusEvent::ProcessEnding, processExitCode);
}

ServiceStatus StatusRecord::snapshot() {
    std::lock_guard lock(mutex_);
    return status_;
}

void StatusRecord::applyLocked(StatusEvent event, std::optional<uint32_t> processExitCode) {
    StatusChange change = nextServiceStatus(status_, event, processExitCode);
    status_ = change.status;
    if (change.report) services_.setStatus(status_);
}

}  // namespace kavrin
