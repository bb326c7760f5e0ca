// Keeping a service's standard output and error: <service>.out.log and
// <service>.err.log in the log directory, rotated by size.
//
// Usage (serviceMain, before the JVM is loaded):
//   startOutputCapture(ctx, config, serviceName);
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/Config.h"
#include "diagnostics/Process.h"

namespace kavrin {

struct CaptureSettings {
    std::string directory;  // full path
    uint64_t maxSize = 0;
    unsigned keep = 0;
};

// None when capture is off (key::kLogCapture 0 or absent). Absent or unreadable values
// take the defaults: "logs", 10MB, 5.
std::optional<CaptureSettings> captureSettings(Process& ctx, const Config& config);

// Both streams into their files; a stream whose pipe cannot be made stays as it was.
void startOutputCapture(Process& ctx, const Config& config, const std::string& serviceName);

}  // namespace kavrin
