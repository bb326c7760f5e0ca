// A service control manager in memory, with the behaviour the verbs and serviceMain
// meet on Windows: open/create/delete/start/stop/query, last-error codes, scripted
// status sequences for the stop wait, a dispatcher that runs serviceMain on a thread
// of its own, and a record of every status report.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace kavrin::test {

struct FakeService {
    CreateServiceParams created;  // what CreateServiceA got (or what the test registered)
    ServiceStatus status;         // what QueryServiceStatus returns
    std::u16string description;
    bool descriptionSet = false;
    // After an accepted stop control, QueryServiceStatus walks this list (the last entry
    // stays). Empty: the service reports stopped at once.
    std::vector<ServiceStatus> afterStop;
    bool queryStatusFails = false;
    std::optional<uint32_t> queryConfigFailsWith;  // error code; bytesNeeded below
    uint32_t bytesNeeded = 0;
    std::optional<uint32_t> startFailsWith;
    // ChangeServiceConfig2: what was set; delayed auto-start can be refused as Wine does.
    std::optional<FailureActions> failureActions;
    std::optional<bool> delayedAutoStart;
    bool delayedAutoStartRefused = false;
    std::optional<uint32_t> preshutdownMs;
};

struct AccessRecord {
    std::string name;  // empty for the manager itself
    uint32_t access = 0;
};

class FakeServiceManager : public ServiceControl {
public:
    // The manager.
    std::map<std::string, FakeService> services;
    bool managerOpenFails = false;
    std::optional<uint32_t> createFailsWith;
    int createFailsTimes = -1;  // how many creates fail with createFailsWith; -1: all
    std::vector<AccessRecord> managerOpens;
    std::vector<AccessRecord> serviceOpens;
    std::vector<CreateServiceParams> creates;
    std::vector<std::string> deletes;
    std::vector<std::pair<std::string, uint32_t>> controls;

    // The running service's side.
    bool registerFails = false;
    std::vector<std::string> startArguments;  // what the dispatcher hands serviceMain
    // Runs on the dispatcher's (main) thread while serviceMain runs on its own, as the
    // manager's controls do; typically waits for a report, then sends controls.
    std::function<void(FakeServiceManager&)> whileRunning;
    std::optional<std::string> dispatchedName;
    std::optional<std::string> handlerName;
    std::function<void()> processEndHook;
    // Called at the start of every SetServiceStatus (e.g. to block one in flight).
    std::function<void(const ServiceStatus&)> beforeReport;

    // Registers an existing service as the tests need it.
    FakeService& add(const std::string& name, uint32_t state, const std::string& binaryPath, uint32_t startType);
    // Calls the registered control handler, as the dispatcher does on the main thread.
    void sendControl(uint32_t control);
    std::vector<ServiceStatus> reports();
    // Waits (up to a few seconds) until a report satisfies the predicate.
    bool waitForReport(const std::function<bool(const ServiceStatus&)>& predicate);
    bool waitForReports(size_t count);

    std::unique_ptr<ServiceManagerHandle> openManager(uint32_t access) override;
    uint32_t lastError() override { return lastError_; }
    bool runDispatcher(const std::string& name, ServiceMainFn main) override;
    bool registerHandler(const std::string& name, ServiceHandlerFn handler) override;
    bool setStatus(const ServiceStatus& status) override;
    bool parentIsManager = false;
    bool parentIsServiceManager() override { return parentIsManager; }
    bool setProcessEndHook(std::function<void()> hook) override {
        processEndHook = std::move(hook);
        return true;
    }

    void setLastError(uint32_t code) { lastError_ = code; }

private:
    uint32_t lastError_ = 0;
    std::mutex reportsMutex_;
    std::condition_variable reportsChanged_;
    std::vector<ServiceStatus> reports_;
    ServiceHandlerFn handler_;
};

}  // namespace kavrin::test
