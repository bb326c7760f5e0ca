// -diagnose: how the service would find its Java runtime, explained on standard output.
// Runs the search as a start would, with every candidate recorded, then names the
// chosen runtime, its jvm.dll and the class path and options the JVM would get. It
// creates no JVM, extracts and unpacks nothing; only the version cache may change.
//
// Usage:
//   int code = diagnoseVerb(ctx, config);   // 0 when a runtime would be chosen, 1 when not
#pragma once

#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "jvm/SearchTrace.h"

namespace kavrin {

int diagnoseVerb(Process& ctx, const Config& config);

// Pure: the report's lines for what the search recorded.
std::vector<std::string> candidateLines(const std::vector<CandidateReport>& candidates);

}  // namespace kavrin
