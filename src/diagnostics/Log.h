// The optional diagnostic log: off unless KAVRIN_LOG or MOLVEX_LOG is exactly "yes",
// or the configuration switches it on. Every line after the header carries the local time.
//
// Usage:
//   logInfo(ctx, "Temp dir: %s", dir.c_str());
//   logError(ctx, "Could not open %s", path.c_str());
#pragma once

#include <optional>
#include <string>

#include "diagnostics/Process.h"

#if defined(__GNUC__)
#define KAVRIN_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define KAVRIN_PRINTF(f, a)
#endif

namespace kavrin {

void initLog(Process& ctx);
void logInfo(Process& ctx, const char* format, ...) KAVRIN_PRINTF(2, 3);
void logError(Process& ctx, const char* format, ...) KAVRIN_PRINTF(2, 3);
// Whether the log is on; for work that only feeds log lines.
bool logEnabled(Process& ctx);
// "phase NAME: N us", N since the process started; the clock is read only with the log on.
void logPhase(Process& ctx, const char* phase);
std::optional<std::string> getLogPath(const Process& ctx);
// Called once the configuration is read: when it switches the log on and the environment
// did not, the log opens now with the lines held so far. Either way nothing is held any more.
void switchLogFromConfig(Process& ctx, bool on);

// The launcher keeps this many of its own log files in their directory.
constexpr size_t kKeptLogFiles = 10;

// printf into a std::string of any length (never truncates).
std::string formatText(const char* format, ...) KAVRIN_PRINTF(1, 2);

}  // namespace kavrin
