#include "service/Verbs.h"

#include <memory>

#include "config/Config.h"
#include "config/ExePath.h"
#include "config/Keys.h"
#include "config/Lists.h"
#include "config/ServiceSettings.h"
#include "diagnostics/Log.h"
#include "platform/Ascii.h"
#include "service/InstallGuard.h"

namespace kavrin {

namespace {

constexpr uint32_t kErrorControlNormal = 1;
constexpr const char* kPasswordVariable = "KAVRIN_SERVICE_PASSWORD";
constexpr uint32_t kStopPollMs = 500;
constexpr uint32_t kMarkedForDeleteWaitMs = 30000;

void print(Process& ctx, const std::string& line) { ctx.os.console.out(line); }

// The service control manager, or nullptr after printing the failure (when asked to).
std::unique_ptr<ServiceManagerHandle> openManagerOrSay(Process& ctx, uint32_t access,
                                                       Messages messages = Messages::Print) {
    auto manager = ctx.os.services.openManager(access);
    if (!manager && messages == Messages::Print) print(ctx, "Could not open SCManager.\n");
    return manager;
}

// A user account's password: from the environment, else asked for on the console.
// Never stored or printed.
std::optional<std::string> accountPassword(Process& ctx, const std::string& account) {
    if (std::optional<std::string> password = ctx.os.env.get(kPasswordVariable)) return password;
    return ctx.os.console.readSecret(formatText("Password for %s: ", account.c_str()));
}

// The old registration may be only marked for deletion (its process still running, a
// handle open somewhere): it goes when that ends, so wait for it rather than fail.
std::unique_ptr<ServiceHandle> createServiceWhenDeleted(Process& ctx, ServiceManagerHandle& manager,
                                                        const CreateServiceParams& params) {
    const uint32_t start = ctx.os.clock.tickCount();
    for (;;) {
        auto service = manager.createService(params);
        if (service || ctx.os.services.lastError() != win32err::kServiceMarkedForDelete) return service;
        if (ctx.os.clock.tickCount() - start >= kMarkedForDeleteWaitMs) return nullptr;
        ctx.os.clock.sleep(kStopPollMs);
    }
}

}  // namespace

void registerEventSource(Process& ctx, const std::string& serviceName) {
    auto key = ctx.os.registry.createKey(RegRoot::LocalMachine, eventSourceKey(serviceName));
    if (!key) return;  // the service still runs; its events then show without their text
    const std::string exe = getExecutablePath(ctx);
    key->setValue("EventMessageFile", kRegExpandSz, std::string(exe.c_str(), exe.size() + 1));
    const uint32_t types = kEventTypesSupported;
    key->setValue("TypesSupported", kRegDword, std::string(reinterpret_cast<const char*>(&types), sizeof types));
}

void applyServiceSettings(Process& ctx, const Config& config, const std::string& serviceName, ServiceHandle& service) {
    std::u16string description = getConfigWString(config, key::kServiceDescription);
    if (!description.empty()) service.setDescription(description);  // result ignored: the service exists
    // The rest only when configured, so a block without them registers as before.
    // Refusals are logged, not fatal: Wine refuses delayed auto-start and more.
    if (std::optional<FailureActions> actions = recoveryActions(config))
        if (!service.setFailureActions(*actions))
            logError(ctx, "failure actions not set (%u)", ctx.os.services.lastError());
    // Windows ignores the flag for a service that does not start automatically.
    if (getConfigString(config, key::kServiceDelayedStart) == "1")
        if (!service.setDelayedAutoStart(true))
            logError(ctx, "delayed auto-start not set (%u)", ctx.os.services.lastError());
    if (uint32_t ms = preshutdownTimeoutMs(config))
        if (!service.setPreshutdownTimeout(ms))
            logError(ctx, "pre-shutdown timeout not set (%u)", ctx.os.services.lastError());
    registerEventSource(ctx, serviceName);
}

std::optional<std::string> dependencyListFrom(const std::string& commaSeparated) {
    if (commaSeparated.empty()) return std::nullopt;
    // No fixed buffer: a list of any length is passed whole rather than cut or overrun.
    std::string list;
    for (const std::string& name : splitList(commaSeparated, ',')) {
        list += name;
        list.push_back('\0');
    }
    list.push_back('\0');
    return list;
}

std::optional<std::string> buildDependencyList(const Config& config) {
    return dependencyListFrom(getConfigString(config, key::kDependencies));
}

std::string quotedServicePath(const std::string& executablePath) { return "\"" + executablePath + "\""; }

bool isOwnServiceCommand(const std::string& registered, const std::string& executablePath) {
    std::string path;
    std::string rest;
    if (!registered.empty() && registered[0] == '"') {
        size_t close = registered.find('"', 1);
        if (close == std::string::npos) return false;
        path = registered.substr(1, close - 1);
        rest = registered.substr(close + 1);
        return equalsIgnoringAsciiCase(path, executablePath) && (rest.empty() || rest[0] == ' ');
    }
    // Unquoted registrations (made by earlier versions) still count as ours.
    if (registered.size() < executablePath.size()) return false;
    path = registered.substr(0, executablePath.size());
    rest = registered.substr(executablePath.size());
    return equalsIgnoringAsciiCase(path, executablePath) && (rest.empty() || rest[0] == ' ');
}

int installVerb(Process& ctx, const Config& config, const std::string& serviceName, uint32_t startType) {
    // Never stop and delete someone else's service (-install Spooler).
    if (const std::optional<std::string> other = foreignServiceProgram(ctx, serviceName)) {
        print(ctx, formatText("Service '%s' runs another program: %s\n", serviceName.c_str(), other->c_str()));
        return 1;
    }
    uninstallVerb(ctx, serviceName, Messages::Quiet);
    auto manager = openManagerOrSay(ctx, scm::kManagerAllAccess);
    if (!manager) return 1;
    const ServiceAccount account = serviceAccount(config, serviceName);
    CreateServiceParams params;
    params.name = serviceName;
    params.displayName = serviceDisplayName(config, serviceName);
    params.desiredAccess = scm::kServiceAllAccess;
    params.serviceType = registeredServiceType(config, account);
    params.startType = startType;
    params.errorControl = kErrorControlNormal;
    params.binaryPath = quotedServicePath(getExecutablePath(ctx));
    params.dependencies = buildDependencyList(config);
    params.startName = account.startName;
    if (account.needsPassword) {
        params.password = accountPassword(ctx, *account.startName);
        if (!params.password) {
            print(ctx, formatText("No password for the account '%s': set %s.\n", account.startName->c_str(),
                                  kPasswordVariable));
            return 1;
        }
    }
    auto service = createServiceWhenDeleted(ctx, *manager, params);
    if (!service) {
        print(ctx,
              formatText("Could not create service. Error code: %d\n", static_cast<int>(ctx.os.services.lastError())));
        return 1;
    }
    applyServiceSettings(ctx, config, serviceName, *service);
    service.reset();
    manager.reset();
    print(ctx, formatText("Installed service '%s'.\n", serviceName.c_str()));
    return 0;
}

int configureVerb(Process& ctx, const Config& config, const std::string& serviceName) {
    auto manager = openManagerOrSay(ctx, scm::kManagerConnect);
    if (!manager) return 1;
    // Restart among the failure actions needs the start right too.
    auto service = manager->openService(serviceName, scm::kServiceChangeConfig | scm::kServiceStart);
    if (!service || !service->setBinaryPath(quotedServicePath(getExecutablePath(ctx)))) {
        print(ctx, "Could not configure service.\n");
        return 1;
    }
    const std::string displayName = getConfigString(config, key::kServiceDisplayName);
    if (!displayName.empty()) service->setDisplayName(displayName);
    applyServiceSettings(ctx, config, serviceName, *service);
    print(ctx, formatText("Configured service '%s'.\n", serviceName.c_str()));
    return 0;
}

int uninstallVerb(Process& ctx, const std::string& serviceName, Messages messages) {
    stopVerb(ctx, serviceName, Messages::Quiet);
    auto manager = openManagerOrSay(ctx, scm::kManagerAllAccess, messages);
    if (!manager) return 1;
    auto service = manager->openService(serviceName, scm::kServiceDelete);
    if (service && service->remove()) {
        service.reset();
        manager.reset();
        ctx.os.registry.deleteKey(RegRoot::LocalMachine, eventSourceKey(serviceName));
        if (messages == Messages::Print) print(ctx, formatText("Uninstalled service '%s'.\n", serviceName.c_str()));
        return 0;
    }
    if (messages == Messages::Print) print(ctx, "Could not delete service.\n");
    return 1;
}

int stopVerb(Process& ctx, const std::string& serviceName, Messages messages) {
    auto manager = openManagerOrSay(ctx, scm::kManagerConnect, messages);
    if (!manager) return 1;
    auto service = manager->openService(serviceName, scm::kServiceStopAndQuery);
    if (!service) {
        if (messages == Messages::Print) print(ctx, "Could not stop service.\n");
        return 1;
    }
    if (!service->control(scm::kControlStop)) {
        if (messages == Messages::Print) print(ctx, "Could not stop service.\n");
        return 1;
    }
    // An accepted stop is reported whatever the flag: the user sees the service go down.
    print(ctx, formatText("Stopping service '%s'.\n", serviceName.c_str()));
    print(ctx, waitForServiceStop(ctx, *service) ? "Service stopped\n" : "Error while stopping service\n");
    return 0;
}

bool waitForServiceStop(Process& ctx, ServiceHandle& service) {
    std::optional<ServiceStatus> status = service.queryStatus();
    if (!status) return false;
    uint32_t startTick = ctx.os.clock.tickCount();
    uint32_t checkPoint = status->checkPoint;
    while (status->currentState == scm::kStateStopPending) {
        ctx.os.clock.sleep(kStopPollMs);
        status = service.queryStatus();
        if (!status) return false;
        if (status->checkPoint > checkPoint) {
            // Progress: the service's own wait hint counts afresh.
            startTick = ctx.os.clock.tickCount();
            checkPoint = status->checkPoint;
            continue;
        }
        // Unsigned difference: a wrap of the tick counter does no harm.
        if (ctx.os.clock.tickCount() - startTick > status->waitHint) break;
    }
    return status->currentState == scm::kStateStopped;
}

int startVerb(Process& ctx, const std::string& serviceName) {
    auto manager = openManagerOrSay(ctx, scm::kManagerConnect);
    if (!manager) return 1;
    uint32_t error = 0;
    auto service = manager->openService(serviceName, scm::kServiceStart);
    if (!service) {
        error = ctx.os.services.lastError();
    } else if (!service->start()) {
        error = ctx.os.services.lastError();
    } else {
        service.reset();
        manager.reset();
        print(ctx, formatText("Starting service '%s'.\n", serviceName.c_str()));
        return 0;
    }
    if (error == win32err::kServiceAlreadyRunning) {
        print(ctx, "Service is already running.\n");
        return 0;
    }
    print(ctx, formatText("Could not start service. Error code: %d\n", static_cast<int>(error)));
    return 1;
}

int statusVerb(Process& ctx, const std::string& serviceName) {
    auto manager = openManagerOrSay(ctx, scm::kManagerConnect);
    if (!manager) return 1;
    auto service = manager->openService(serviceName, scm::kServiceQueryConfigAndStatus);
    std::optional<ServiceStatus> status;
    if (service) status = service->queryStatus();
    if (!status) {
        print(ctx, "Could not get status.\n");
        return 1;
    }
    int result = 0;
    if (status->currentState == scm::kStateRunning) {
        print(ctx, "Running.\n");
    } else {
        print(ctx, "Not running.\n");
        result = 3;
    }
    uint32_t bytesNeeded = 0;
    std::optional<ServiceConfig> config = service->queryConfig(bytesNeeded);
    if (!config) {
        uint32_t error = ctx.os.services.lastError();
        print(ctx,
              formatText("Could not get config (%d, %d).\n", static_cast<int>(error), static_cast<int>(bytesNeeded)));
        return 1;
    }
    if (!isOwnServiceCommand(config->binaryPath, getExecutablePath(ctx))) {
        print(ctx, formatText("Different service executable: %s\n", config->binaryPath.c_str()));
        return 1;
    }
    if (config->startType == scm::kStartAuto) print(ctx, formatText("%s.\n", "Auto-start"));
    return result;
}

}  // namespace kavrin
