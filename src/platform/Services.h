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

struct CreateServiceParams {
    std::string name;         // also the display name
    uint32_t desiredAccess = 0;
    uint32_t serviceType = 0;
    uint32_t startType = 0;
    uint32_t errorControl = 0;
    std::string binaryPath;
    // Double-NUL-terminated dependency list as CreateServiceA takes it; nullopt = none.
    std::optional<std::string> dependencies;
};

class ServiceHandle {
public:
    virtual ~ServiceHandle() = default;  // CloseServiceHandle
    virtual bool remove() = 0;           // DeleteService
    virtual bool start() = 0;            // StartServiceA, no arguments
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
    // RegisterServiceCtrlHandlerA; false on failure.
    virtual bool registerHandler(const std::string& name, ServiceHandlerFn handler) = 0;
    // SetServiceStatus through the registered handle.
    virtual bool setStatus(const ServiceStatus& status) = 0;
    // Runs hook when the process ends through ExitProcess, whichever C runtime (ours or
    // the JVM's) asked for it, where atexit handlers of ours may never run. False when
    // the platform has no such hook.
    virtual bool setProcessEndHook(void (*hook)()) {
        (void)hook;
        return false;
    }
};

}  // namespace kavrin
