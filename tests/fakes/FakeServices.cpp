#include "fakes/FakeServices.h"

#include <chrono>
#include <exception>
#include <thread>

#include "platform/Types.h"

namespace kavrin::test {

namespace {

constexpr uint32_t kInvalidHandle = 6;
constexpr uint32_t kInvalidParameter = 87;

class FakeServiceHandle : public ServiceHandle {
public:
    FakeServiceHandle(FakeServiceManager& manager, std::string name) : manager_(manager), name_(std::move(name)) {}

    bool remove() override {
        FakeService* s = find();
        if (!s) return false;
        manager_.deletes.push_back(name_);
        manager_.services.erase(name_);
        return true;
    }
    bool start() override {
        FakeService* s = find();
        if (!s) return false;
        if (s->startFailsWith) return fail(*s->startFailsWith);
        if (s->status.currentState != scm::kStateStopped) return fail(win32err::kServiceAlreadyRunning);
        s->status.currentState = scm::kStateRunning;
        return true;
    }
    bool control(uint32_t code) override {
        manager_.controls.emplace_back(name_, code);
        FakeService* s = find();
        if (!s) return false;
        if (s->status.currentState == scm::kStateStopped) return fail(win32err::kServiceNotActive);
        if (code == scm::kControlStop) {
            if (s->afterStop.empty()) {
                s->status.currentState = scm::kStateStopped;
            } else {
                pending_ = std::deque<ServiceStatus>(s->afterStop.begin(), s->afterStop.end());
                s->status = pending_.front();
            }
        }
        return true;
    }
    std::optional<ServiceStatus> queryStatus() override {
        FakeService* s = find();
        if (!s) return std::nullopt;
        if (s->queryStatusFails) {
            fail(kInvalidHandle);
            return std::nullopt;
        }
        if (!pending_.empty()) {
            s->status = pending_.front();
            if (pending_.size() > 1) pending_.pop_front();
        }
        return s->status;
    }
    std::optional<ServiceConfig> queryConfig(uint32_t& bytesNeeded) override {
        FakeService* s = find();
        if (!s) return std::nullopt;
        if (s->queryConfigFailsWith) {
            bytesNeeded = s->bytesNeeded;
            fail(*s->queryConfigFailsWith);
            return std::nullopt;
        }
        return ServiceConfig{s->created.binaryPath, s->created.startType};
    }
    bool setDescription(const std::u16string& text) override {
        FakeService* s = find();
        if (!s) return false;
        s->description = text;
        s->descriptionSet = true;
        return true;
    }
    bool setDisplayName(const std::string& name) override {
        FakeService* s = find();
        if (!s) return false;
        s->created.displayName = name;
        return true;
    }
    bool setFailureActions(const FailureActions& actions) override {
        FakeService* s = find();
        if (!s) return false;
        s->failureActions = actions;
        return true;
    }
    bool setDelayedAutoStart(bool delayed) override {
        FakeService* s = find();
        if (!s) return false;
        if (s->delayedAutoStartRefused) return fail(kInvalidParameter);
        s->delayedAutoStart = delayed;
        return true;
    }
    bool setPreshutdownTimeout(uint32_t ms) override {
        FakeService* s = find();
        if (!s) return false;
        s->preshutdownMs = ms;
        return true;
    }
    bool setBinaryPath(const std::string& path) override {
        FakeService* s = find();
        if (!s) return false;
        s->created.binaryPath = path;
        return true;
    }

private:
    FakeService* find() {
        auto it = manager_.services.find(name_);
        if (it == manager_.services.end()) {
            manager_.setLastError(win32err::kServiceDoesNotExist);
            return nullptr;
        }
        return &it->second;
    }
    bool fail(uint32_t code) {
        manager_.setLastError(code);
        return false;
    }

    FakeServiceManager& manager_;
    std::string name_;
    std::deque<ServiceStatus> pending_;
};

class FakeManagerHandle : public ServiceManagerHandle {
public:
    explicit FakeManagerHandle(FakeServiceManager& manager) : manager_(manager) {}

    std::unique_ptr<ServiceHandle> openService(const std::string& name, uint32_t access) override {
        manager_.serviceOpens.push_back({name, access});
        if (!manager_.services.count(name)) {
            manager_.setLastError(win32err::kServiceDoesNotExist);
            return nullptr;
        }
        return std::make_unique<FakeServiceHandle>(manager_, name);
    }
    std::unique_ptr<ServiceHandle> createService(const CreateServiceParams& params) override {
        manager_.creates.push_back(params);
        if (manager_.createFailsWith && manager_.createFailsTimes != 0) {
            if (manager_.createFailsTimes > 0) --manager_.createFailsTimes;
            manager_.setLastError(*manager_.createFailsWith);
            return nullptr;
        }
        if (manager_.services.count(params.name)) {
            manager_.setLastError(win32err::kServiceExists);
            return nullptr;
        }
        FakeService service;
        service.created = params;
        service.status.serviceType = params.serviceType;
        service.status.currentState = scm::kStateStopped;
        manager_.services[params.name] = service;
        return std::make_unique<FakeServiceHandle>(manager_, params.name);
    }

private:
    FakeServiceManager& manager_;
};

}  // namespace

FakeService& FakeServiceManager::add(const std::string& name, uint32_t state, const std::string& binaryPath,
                                     uint32_t startType) {
    FakeService& s = services[name];
    s.created.name = name;
    s.created.binaryPath = binaryPath;
    s.created.startType = startType;
    s.created.serviceType = 0x10;
    s.status.serviceType = 0x10;
    s.status.currentState = state;
    return s;
}

std::unique_ptr<ServiceManagerHandle> FakeServiceManager::openManager(uint32_t access) {
    managerOpens.push_back({"", access});
    if (managerOpenFails) {
        lastError_ = win32err::kAccessDenied;
        return nullptr;
    }
    return std::make_unique<FakeManagerHandle>(*this);
}

bool FakeServiceManager::runDispatcher(const std::string& name, ServiceMainFn main) {
    dispatchedName = name;
    // serviceMain runs on a thread the dispatcher creates; this thread stays here.
    // An exit from serviceMain (the fake exit throws) comes back to the caller.
    std::exception_ptr thrown;
    std::thread serviceThread([&] {
        try {
            main(startArguments);
        } catch (...) {
            thrown = std::current_exception();
        }
    });
    if (whileRunning) whileRunning(*this);
    serviceThread.join();
    if (thrown) std::rethrow_exception(thrown);
    return true;
}

bool FakeServiceManager::registerHandler(const std::string& name, ServiceHandlerFn handler) {
    handlerName = name;
    if (registerFails) return false;
    handler_ = std::move(handler);
    return true;
}

bool FakeServiceManager::setStatus(const ServiceStatus& status) {
    if (beforeReport) beforeReport(status);
    {
        std::lock_guard lock(reportsMutex_);
        reports_.push_back(status);
    }
    reportsChanged_.notify_all();
    return true;
}

bool FakeServiceManager::waitForReports(size_t count) {
    std::unique_lock lock(reportsMutex_);
    return reportsChanged_.wait_for(lock, std::chrono::seconds(10), [&] { return reports_.size() >= count; });
}

bool FakeServiceManager::waitForReport(const std::function<bool(const ServiceStatus&)>& predicate) {
    std::unique_lock lock(reportsMutex_);
    return reportsChanged_.wait_for(lock, std::chrono::seconds(10), [&] {
        for (const ServiceStatus& s : reports_)
            if (predicate(s)) return true;
        return false;
    });
}

void FakeServiceManager::sendControl(uint32_t control) {
    if (handler_) handler_(control);
}

std::vector<ServiceStatus> FakeServiceManager::reports() {
    std::lock_guard lock(reportsMutex_);
    return reports_;
}

}  // namespace kavrin::test
