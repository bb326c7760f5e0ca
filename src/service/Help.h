// The usage text of -help (also -?, /? and --help).
//
// Usage:
//   ctx.os.console.out(usageText("server.exe", "MyService"));
#pragma once

#include <string>

#include "service/VerbParsing.h"

namespace kavrin {

// One line per verb; the switch has no default, so a new verb without a line does not compile.
const char* verbUsage(Verb verb);

std::string usageText(const std::string& programName, const std::string& serviceName);

}  // namespace kavrin
