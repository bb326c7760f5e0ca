// The optional diagnostic log: off unless KAVRIN_LOG or MOLVEX_LOG is exactly "yes".
//
// Usage:
//   logInfo(ctx, "Temp dir: %s", dir.c_str());
//   logError(ctx, "Could not open %s", path.c_str());
#pragma once

#include <optional>
#include <string>

#include "config/Context.h"

#if defined(__GNUC__)
#define KAVRIN_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define KAVRIN_PRINTF(f, a)
#endif

namespace kavrin {

void initLog(Context& ctx);
void logInfo(Context& ctx, const char* format, ...) KAVRIN_PRINTF(2, 3);
void logError(Context& ctx, const char* format, ...) KAVRIN_PRINTF(2, 3);
// Whether the log is on; for work that only feeds log lines.
bool logEnabled(Context& ctx);
// "phase NAME: N us", N since the process started; the clock is read only with the log on.
void logPhase(Context& ctx, const char* phase);
std::optional<std::string> getLogPath(const Context& ctx);

// printf into a std::string of any length (never truncates).
std::string formatText(const char* format, ...) KAVRIN_PRINTF(1, 2);

}  // namespace kavrin
