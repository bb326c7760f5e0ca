// What the operations settings of the block mean for the registration and for the
// running service: the account and its service type bits, the failure actions, the
// stop and pre-shutdown timeouts. Pure: read from the configuration, no platform calls.
//
// Usage (install):
//   ServiceAccount account = serviceAccount(config, serviceName);
//   params.serviceType = registeredServiceType(config, account);
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/Config.h"
#include "platform/Services.h"

namespace kavrin {

struct ServiceAccount {
    std::optional<std::string> startName;  // none: LocalSystem, as CreateServiceA's NULL
    bool needsPassword = false;            // a user account; not a managed or built-in one
};

// key::kServiceAccount: LocalSystem (also when unset), LocalService, NetworkService,
// virtual (NT SERVICE\<name>), DOMAIN\name$ (group managed, no password) or DOMAIN\user.
ServiceAccount serviceAccount(const Config& config, const std::string& serviceName);
ServiceAccount serviceAccount(const std::string& setting, const std::string& serviceName);

// Own process, with the interactive bit only for LocalSystem and unless
// key::kServiceInteractive is 0: Windows refuses it with any other account.
uint32_t registeredServiceType(const Config& config, const ServiceAccount& account);
uint32_t registeredServiceType(const std::string& interactiveSetting, const ServiceAccount& account);

// The display name: key::kServiceDisplayName, else the service name.
std::string serviceDisplayName(const Config& config, const std::string& serviceName);

// key::kRecoveryActions ("restart" or "none" for the first, second and later failures),
// with the restart delay, reset period and non-crash flag. None when no action is set.
std::optional<FailureActions> recoveryActions(const Config& config);

// Milliseconds; 0 when unset (no stop supervision, pre-shutdown not accepted).
uint32_t stopTimeoutMs(const Config& config);
uint32_t preshutdownTimeoutMs(const Config& config);

// The event log source of a service: the registry key under HKLM and its values.
std::string eventSourceKey(const std::string& serviceName);
inline constexpr uint32_t kEventTypesSupported = 7;  // error, warning, information

}  // namespace kavrin
