#include "service/OutputCapture.h"

#include <memory>

#include "config/Config.h"
#include "config/Keys.h"
#include "diagnostics/Log.h"
#include "diagnostics/OutputLog.h"
#include "files/Paths.h"

namespace kavrin {

std::optional<CaptureSettings> captureSettings(Process& ctx, const Config& config) {
    if (getConfigInt(config, key::kLogCapture) == 0) return std::nullopt;
    CaptureSettings settings;
    std::string directory = getConfigString(config, key::kLogDirectory);
    settings.directory = makeFullPath(ctx, directory.empty() ? "logs" : directory, PathCase::Keep);
    settings.maxSize = parseByteSize(getConfigString(config, key::kLogMaxSize)).value_or(10ull << 20);
    const std::string keep = getConfigString(config, key::kLogKeep);
    settings.keep = keep.empty() ? 5u : static_cast<unsigned>(std::max(0, getConfigInt(config, key::kLogKeep)));
    return settings;
}

void startOutputCapture(Process& ctx, const Config& config, const std::string& serviceName) {
    const std::optional<CaptureSettings> settings = captureSettings(ctx, config);
    if (!settings) return;
    std::string base = settings->directory;
    if (!base.empty() && base.back() != '\\') base += '\\';
    const struct {
        StdStream stream;
        const char* suffix;
    } streams[] = {{StdStream::Output, ".out.log"}, {StdStream::Error, ".err.log"}};
    for (const auto& s : streams) {
        // Owned by the sink: the reader thread and the drain at exit write through it.
        auto output =
            std::make_shared<RotatingOutput>(ctx.os.fs, base + serviceName + s.suffix, settings->maxSize,
                                             settings->keep, [&ctx](const std::string& reason) {
                                                 logError(ctx, "output capture: %s; dropping output", reason.c_str());
                                             });
        if (!ctx.os.console.captureStream(s.stream, [output](std::string_view data) { output->write(data); })) {
            logError(ctx, "output capture: no pipe for %s", s.suffix);
        }
    }
}

}  // namespace kavrin
