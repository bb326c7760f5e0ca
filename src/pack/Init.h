// `kavrin-pack init`: a commented starter project file.
#pragma once

#include <string>

namespace kavrin::pack {

// The settings a service project needs (those marked kInScaffold), or with `all`
// every setting; the service name and main class set, the rest commented out with
// their default. Throws PackError for an unusable name or class.
std::string starterProject(const std::string& serviceName, const std::string& mainClass, bool all = false);

}  // namespace kavrin::pack
