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

StatusChange nextServiceStatus(const ServiceStatus& current, StatusEvent event) {
    StatusChange change{current, true};
    ServiceStatus& s = change.status;
    switch (event) {
        case StatusEvent::Launched:
            s.currentState = scm::kStateRunning;
            break;
        case StatusEvent::StopControl:
            s.currentState = scm::kStateStopPending;
            break;
        case StatusEvent::ShutdownControl:
            s.checkPoint += 1;
            s.currentState = scm::kStateStopPending;
            break;
        case StatusEvent::OtherControl:
            break;
        case StatusEvent::StopHandled:
            s.currentState = scm::kStateStopped;
            break;
        case StatusEvent::LaunchFailed:
            s.currentState = scm::kStateStopped;
            s.win32ExitCode = 1;
            break;
        case StatusEvent::ProcessEnding:
            if (current.currentState == scm::kStateStopped) {
                change.report = false;
            } else {
                s.currentState = scm::kStateStopped;
                s.win32ExitCode = 0;
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

void StatusRecord::applyAtProcessEnd() {
    std::unique_lock lock(mutex_, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(500))) {
        // The holder is gone (ExitProcess ends every other thread first); the record
        // is still whole because each writer finishes its change before it reports.
    }
    applyLocked(StatusEvent::ProcessEnding);
}

ServiceStatus StatusRecord::snapshot() {
    std::lock_guard lock(mutex_);
    return status_;
}

void StatusRecord::applyLocked(StatusEvent event) {
    StatusChange change = nextServiceStatus(status_, event);
    status_ = change.status;
    if (change.report) services_.setStatus(status_);
}

}  // namespace kavrin
