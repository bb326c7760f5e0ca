// The service control manager, both sides: the client calls the verbs make, and
// the dispatcher/status calls of a running service.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavrin {

namespace scm {
constexpr uint32_t kManagerAllAccess = 0xF003F;
constexpr uint32_t kManagerConnect = 0x1;
constexpr uint32_t kServiceAllAccess = 0xF01FF;
constexpr uint32_t kServiceDelete = 0x10000;
constexpr uint32_t kServiceStopAndQuery = 0x24;
constexpr uint32_t kServiceStart = 0x10;
constexpr uint32_t kServiceChangeConfig = 0x2;
constexpr uint32_t kServiceQueryConfigAndStatus = 0x5;

constexpr uint32_t kStateStopped = 1;
constexpr uint32_t kStateStopPending = 3;
constexpr uint32_t kStateRunning = 4;

constexpr uint32_t kStartAuto = 2;
constexpr uint32_t kStartDemand = 3;

constexpr uint32_t kControlStop = 1;
constexpr uint32_t kControlInterrogate = 4;
constexpr uint32_t kControlShutdown = 5;
constexpr uint32_t kControlPreshutdown = 0x0F;
constexpr uint32_t kAcceptPreshutdown = 0x100;
}  // namespace scm

// SERVICE_STATUS, field for field.
struct ServiceStatus {
    uint32_t serviceType = 0;
    uint32_t currentState = 0;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

struct ServiceConfig {
    std::string binaryPath;
    uint32_t startType = 0;
};

// SERVICE_FAILURE_ACTIONS and its flag (ChangeServiceConfig2).
struct FailureAction {
    enum Type : uint32_t { None = 0, Restart = 1 };
    Type type = None;
    uint32_t delayMs = 0;
};
struct FailureActions {
    std::vector<FailureAction> actions;  // first, second, later failures
    uint32_t resetPeriodSeconds = 0;
    bool nonCrashFailures = false;  // a stop with a non-zero exit code counts as a failure
};

struct CreateServiceParams {
    std::string name;
    std::string displayName;  // empty: the name
    uint32_t desiredAccess = 0;
    uint32_t serviceType = 0;
    uint32_t startType = 0;
    uint32_t errorControl = 0;
    std::string binaryPath;
    // Double-NUL-terminated dependency list as CreateServiceA takes it; nullopt = none.
    std::optional<std::string> dependencies;
    std::optional<std::string> startName;  // none: LocalSystem
    std::optional<std::string> password;
};

class ServiceHandle {
public:
    virtual ~ServiceHandle() = default;       // CloseServiceHandle
    virtual bool remove() = 0;                // DeleteService
    virtual bool start() = 0;                 // StartServiceA, no arguments
    virtual bool control(uint32_t code) = 0;  // ControlService
    virtual std::optional<ServiceStatus> queryStatus() = 0;
    // QueryServiceConfigA into 8192 bytes; on failure bytesNeeded is what the call reported.
    virtual std::optional<ServiceConfig> queryConfig(uint32_t& bytesNeeded) = 0;
    // ChangeServiceConfig2W(SERVICE_CONFIG_DESCRIPTION) found at run time; false when unavailable.
    virtual bool setDescription(const std::u16string& text) = 0;
    // ChangeServiceConfigA with only the binary path changed.
    virtual bool setBinaryPath(const std::string& path) {
        (void)path;
        return false;
    }
    // ChangeServiceConfigA with only the display name changed.
    virtual bool setDisplayName(const std::string& name) {
        (void)name;
        return false;
    }
    // ChangeServiceConfig2W: failure actions and their flag, delayed auto-start,
    // pre-shutdown timeout. False when refused (Wine refuses delayed auto-start).
    virtual bool setFailureActions(const FailureActions& actions) {
        (void)actions;
        return false;
    }
    virtual bool setDelayedAutoStart(bool delayed) {
        (void)delayed;
        return false;
    }
    virtual bool setPreshutdownTimeout(uint32_t ms) {
        (void)ms;
        return false;
    }
};

class ServiceManagerHandle {
public:
    virtual ~ServiceManagerHandle() = default;
    virtual std::unique_ptr<ServiceHandle> openService(const std::string& name, uint32_t access) = 0;
    virtual std::unique_ptr<ServiceHandle> createService(const CreateServiceParams& params) = 0;
};

using ServiceMainFn = std::function<void(const std::vector<std::string>& args)>;
using ServiceHandlerFn = std::function<void(uint32_t control)>;

class ServiceControl {
public:
    virtual ~ServiceControl() = default;
    virtual std::unique_ptr<ServiceManagerHandle> openManager(uint32_t access) = 0;  // OpenSCManagerA
    virtual uint32_t lastError() = 0;

    // StartServiceCtrlDispatcherA with one service; returns when the service stopped
    // or at once when not started by the service control manager.
    virtual bool runDispatcher(const std::string& name, ServiceMainFn main) = 0;
    // Whether the process that started this one is the service manager's (services.exe):
    // known before any configuration is.
    virtual bool parentIsServiceManager() { return false; }
    // RegisterServiceCtrlHandlerExA (so pre-shutdown reaches it); false on failure.
    virtual bool registerHandler(const std::string& name, ServiceHandlerFn handler) = 0;
    // SetServiceStatus through the registered handle.
    virtual bool setStatus(const ServiceStatus& status) = 0;
    // Runs hook when the process ends through ExitProcess, whichever C runtime (ours or
    // the JVM's) asked for it, where atexit handlers of ours may never run. False when
    // the platform has no such hook.
    virtual bool setProcessEndHook(std::function<void()> hook) {
        (void)hook;
        return false;
    }
};

}  // namespace kavrin
