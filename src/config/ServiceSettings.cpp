#include "config/ServiceSettings.h"

#include "config/Config.h"
#include "config/Keys.h"
#include "config/Lists.h"
#include "platform/Ascii.h"

namespace kavrin {

namespace {
constexpr uint32_t kOwnProcess = 0x10;
constexpr uint32_t kInteractive = 0x100;
constexpr uint32_t kMsPerSecond = 1000;

uint32_t secondsToMs(int seconds) { return seconds > 0 ? static_cast<uint32_t>(seconds) * kMsPerSecond : 0; }
}  // namespace

ServiceAccount serviceAccount(const Config& config, const std::string& serviceName) {
    return serviceAccount(getConfigString(config, key::kServiceAccount), serviceName);
}

ServiceAccount serviceAccount(const std::string& setting, const std::string& serviceName) {
    if (setting.empty() || equalsIgnoringAsciiCase(setting, "LocalSystem")) return {};
    if (equalsIgnoringAsciiCase(setting, "LocalService")) return {"NT AUTHORITY\\LocalService", false};
    if (equalsIgnoringAsciiCase(setting, "NetworkService")) return {"NT AUTHORITY\\NetworkService", false};
    if (equalsIgnoringAsciiCase(setting, "virtual")) return {"NT SERVICE\\" + serviceName, false};
    // A group managed service account ends in "$"; Windows keeps its password.
    return {setting, setting.back() != '$'};
}

uint32_t registeredServiceType(const Config& config, const ServiceAccount& account) {
    return registeredServiceType(getConfigString(config, key::kServiceInteractive), account);
}

uint32_t registeredServiceType(const std::string& interactiveSetting, const ServiceAccount& account) {
    const bool interactive = interactiveSetting != "0";
    return kOwnProcess | (interactive && !account.startName ? kInteractive : 0);
}

std::string serviceDisplayName(const Config& config, const std::string& serviceName) {
    std::string name = getConfigString(config, key::kServiceDisplayName);
    return name.empty() ? serviceName : name;
}

std::optional<FailureActions> recoveryActions(const Config& config) {
    const std::string list = getConfigString(config, key::kRecoveryActions);
    if (list.empty()) return std::nullopt;
    FailureActions result;
    const uint32_t delay = secondsToMs(getConfigInt(config, key::kRecoveryRestartDelay));
    for (const std::string& action : splitList(list, ',')) {
        if (action == "restart") {
            result.actions.push_back({FailureAction::Restart, delay});
        } else {
            result.actions.push_back({FailureAction::None, 0});
        }
    }
    const int reset = getConfigInt(config, key::kRecoveryResetPeriod);
    result.resetPeriodSeconds = reset > 0 ? static_cast<uint32_t>(reset) : 0;
    result.nonCrashFailures = getConfigString(config, key::kRecoveryNonCrashFailures) == "1";
    return result;
}

uint32_t stopTimeoutMs(const Config& config) { return secondsToMs(getConfigInt(config, key::kStopTimeout)); }
uint32_t preshutdownTimeoutMs(const Config& config) {
    return secondsToMs(getConfigInt(config, key::kPreshutdownTimeout));
}

std::string eventSourceKey(const std::string& serviceName) {
    return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + serviceName;
}

}  // namespace kavrin
