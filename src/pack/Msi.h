// The Windows Installer package of a project: the [msi] settings (read by the
// builder only, never written into the configuration block), the service
// registration taken from the block the executable carries, and the WiX source
// that wixl (or the WiX toolset) turns into the .msi.
//
// Usage:
//   Project project = loadProject(file, options);
//   MsiSettings msi = readMsiSettings(readWholeFile(file, "project file"), file);
//   std::string wxs = wixSource(msi, serviceRegistrationFrom(project.block), exePath);
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigBlock.h"

namespace kavrin::pack {

// What -install registers, from the same configuration values.
struct ServiceRegistration {
    std::string name;              // key::kServiceName
    std::string displayName;       // key::kServiceDisplayName, else the name, as -install registers it
    std::string description;       // key::kServiceDescription, UTF-8
    uint32_t serviceType = 0x110;  // own process, interactive unless key::kServiceInteractive or the account says not
    uint32_t startType = 2;        // auto-start for launcher type 4 (key::kLauncherType), else demand (3)
    uint32_t errorControl = 1;
    std::string account;                    // key::kServiceAccount as -install resolves it; empty: LocalSystem
    bool accountNeedsPassword = false;      // a user account: no package can carry its password
    std::vector<std::string> dependencies;  // key::kDependencies, split as the launcher splits it
    std::string logDirectory;  // where output capture writes, when below the executable ('/' between parts)
};

ServiceRegistration serviceRegistrationFrom(const ConfigBlock& block);

struct MsiFile {
    std::filesystem::path source;
    std::string installName;  // relative to the installation directory, '/' between parts
};

struct MsiSettings {
    std::string productName;     // default: the service name
    std::string manufacturer;    // also the folder under Program Files
    std::string version;         // major.minor.build
    std::string upgradeCode;     // upper case, without braces
    std::string executableName;  // the project file's name with .exe
    std::vector<MsiFile> files;  // besides the executable
};

// Reads and checks the [msi] table of a project file. Throws PackError (exit 1)
// naming the file, the line and the setting.
MsiSettings readMsiSettings(std::string_view projectText, const std::filesystem::path& projectFile,
                            const ServiceRegistration& service);

// Single checks, also used by the tests. None when the text is fine.
std::optional<std::string> msiVersionProblem(std::string_view version);
std::optional<std::string> upgradeCodeProblem(std::string_view code);

// The WiX source (the schema of WiX 3, which wixl reads). `executable` is the packed
// executable's path on this machine; file sources are written relative to
// `sourceDirectory`, the source file's directory (wixl takes no absolute ones).
std::string wixSource(const MsiSettings& msi, const ServiceRegistration& service,
                      const std::filesystem::path& executable, const std::filesystem::path& sourceDirectory);

// The commented [msi] table `init` writes, with a new upgrade code.
std::string starterMsiSection(const std::string& serviceName);

}  // namespace kavrin::pack
