// What the search judged, candidate by candidate, for -diagnose. The search writes
// into it only when Process::search.trace points to one; a service start leaves it unset.
//
// Usage:
//   SearchTrace trace;
//   ctx.search.trace = &trace;
//   searchJvm(ctx, config, exe, name);   // trace.candidates: every candidate in the order considered
#pragma once

#include <string>
#include <vector>

namespace kavrin {

struct CandidateReport {
    std::string source;  // where it came from: a search entry, a variable, a registry key
    std::string javaExe;
    std::string version;      // empty when none was learnt
    std::string learnedFrom;  // "cache", "release file", "probe"; empty when none was learnt
    bool accepted = false;
    std::string reason;  // why it was refused; empty when accepted
};

struct SearchTrace {
    std::string source;  // set by the search before each test
    std::vector<CandidateReport> candidates;
};

}  // namespace kavrin
