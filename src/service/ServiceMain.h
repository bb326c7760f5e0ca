// The service itself: serviceMain on the dispatcher's thread, the control handlers,
// and the exit hooks that report the service stopped however the process ends.
//
// Usage (the no-verb path of launcherMain):
//   return runServiceDispatcher(ctx, config, serviceName, defaultServicePath());
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "files/Extraction.h"
#include "jvm/LoadDll.h"
#include "launch/jni/JavaVMLauncher.h"
#include "service/StatusRecord.h"
#include "service/StopEvent.h"

namespace kavrin {

// What serviceMain calls in the other subsystems. The default calls the real
// functions; tests and the e2e stand-in service drive the state table without a JVM.
struct ServiceRuntime {
    std::function<void(Process&)> processDeletionQueue;
    std::function<void(Process&, const std::u16string&, std::vector<std::u16string>&)> splitArguments;
    std::function<std::optional<LoadedJvm>(Process&)> loadJvm;  // LoadDLL with show errors, no location
    std::function<std::optional<RunningJvm>(Process&, const LoadedJvm&, const Extraction&,
                                            const std::vector<std::u16string>&)>
        launchProgram;
    std::function<void(Process&, RunningJvm&)> callSystemExit;
};
ServiceRuntime defaultServiceRuntime(const Config& config);

// The no-verb path: extraction, then the dispatcher.
struct ServicePath {
    std::function<ExtractionResult(Process&)> extract;  // status 0 on success
    ServiceRuntime runtime;
};
ServicePath defaultServicePath(const Config& config);

// Everything serviceMain and the handlers share. Lives until the process ends: the
// exit hooks still report through it after main has returned.
class ServiceSession {
public:
    ServiceSession(Process& context, const Config& configuration, ServiceRuntime serviceRuntime,
                   std::string serviceName, Extraction extraction);
    ~ServiceSession();
    ServiceSession(const ServiceSession&) = delete;
    ServiceSession& operator=(const ServiceSession&) = delete;

    Process& ctx;
    const Config& config;
    ServiceRuntime runtime;
    const std::string serviceName;
    const Extraction extraction;
    StatusRecord status;
    StopEvent stopEvent;
    // What the exit hooks report through; they outlive a session (a test's), so the
    // destructor clears it.
    std::shared_ptr<std::atomic<ServiceSession*>> exitHookTarget =
        std::make_shared<std::atomic<ServiceSession*>>(nullptr);
};

void serviceMain(ServiceSession& session, const std::vector<std::string>& args);
// While the application shuts down after a stop: advances the checkpoint once a second
// until `ended` is set (false) or timeoutMs passed; then reports stopped, logs why and
// returns true, and the caller ends the process.
bool superviseStop(ServiceSession& session, uint32_t timeoutMs, const std::atomic<bool>& ended);
void serviceControlHandler(ServiceSession& session, uint32_t control);
bool consoleControlHandler(Process& ctx, uint32_t event);
// Run by the atexit and process-end hooks; reports stopped when the process ends
// before serviceMain did.
void reportStoppedAtExit(ServiceSession& session);

// The launcher argument list: the command line without the program, then every
// start argument (the service name first), widened from the ANSI code page.
std::vector<std::u16string> buildLauncherArguments(ServiceSession& session, const std::vector<std::string>& args);

// Extracts the included files, then hands the main thread to the dispatcher. Returns 0
// when the dispatcher returns.
int runServiceDispatcher(Process& ctx, const Config& config, const std::string& serviceName, const ServicePath& path);

}  // namespace kavrin
