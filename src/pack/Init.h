// `kavrin-pack init`: a commented starter project file.
#pragma once

#include <string>

namespace kavrin::pack {

// Every setting appears, set ones for the service name and main class, the rest
// commented out with their default. Throws PackError for an unusable name or class.
std::string starterProject(const std::string& serviceName, const std::string& mainClass);

}  // namespace kavrin::pack
