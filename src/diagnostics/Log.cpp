#include "diagnostics/Log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "diagnostics/OutputLog.h"

namespace kavrin {

namespace {

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

bool switchedOn(Process& ctx, const char* variable) {
    auto value = ctx.os.env.get(variable);
    return value && *value == "yes";
}

void writeLine(Process& ctx, const char* prefix, const char* format, va_list args) {
    initLog(ctx);
    if (!ctx.log.stream && !ctx.log.holding) return;
    std::string line = ctx.os.clock.localTimestamp() + " " + prefix + vformat(format, args) + "\n";
    if (!ctx.log.stream) return ctx.log.held.push_back(std::move(line));
    ctx.log.stream->write(line);
    ctx.log.stream->flush();
}

// Older files of the launcher's own name shape go; nothing else in the directory is touched.
void removeOldLogFiles(Process& ctx, const std::string& logPath) {
    const size_t split = logPath.find_last_of("\\/") + 1;
    const std::string directory = logPath.substr(0, split);
    std::vector<FindEntry> others = ctx.os.fs.find(directory + "mvx_nlog_*");
    std::erase_if(others, [&](const FindEntry& e) { return e.name == logPath.substr(split); });
    for (const std::string& name : ownLogFilesBeyond(others, kKeptLogFiles - 1)) ctx.os.fs.deleteFile(directory + name);
}

void openLogFile(Process& ctx) {
    // Created exclusively: a name someone took between the check and the create is
    // skipped for the next one, never written through.
    for (int attempt = 0; attempt < 4 && !ctx.log.stream; ++attempt) {
        ctx.log.path = ctx.os.fs.uniqueTempName("c:\\", "mvx_nlog_");
        if (!ctx.log.path) break;
        ctx.log.stream = ctx.os.fs.createText(*ctx.log.path);
        if (!ctx.log.stream && ctx.os.fs.lastError() != win32err::kFileExists) break;
    }
    if (ctx.log.stream) {
        removeOldLogFiles(ctx, *ctx.log.path);
    } else {
        ctx.log.path = "c:\\mvx_nlog";
        ctx.log.stream = ctx.os.fs.createText(*ctx.log.path);
        if (!ctx.log.stream) return;
    }
    ctx.log.stream->write(formatText("Started executable %s at %s\n", ctx.os.module.fileNameA().c_str(),
                                     ctx.os.clock.ctimeNow().c_str()));
    ctx.log.stream->flush();
}

}  // namespace

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

void initLog(Process& ctx) {
    if (ctx.log.tried) return;
    ctx.log.tried = true;
    // Both variables are read; either one switches the log on.
    const bool kavrinOn = switchedOn(ctx, "KAVRIN_LOG");
    const bool molvexOn = switchedOn(ctx, "MOLVEX_LOG");
    if (!kavrinOn && !molvexOn) {
        ctx.log.holding = true;
        return;
    }
    openLogFile(ctx);
}

void switchLogFromConfig(Process& ctx, bool on) {
    initLog(ctx);
    if (!ctx.log.holding) return;
    ctx.log.holding = false;
    std::vector<std::string> held = std::move(ctx.log.held);
    if (!on) return;
    openLogFile(ctx);
    if (!ctx.log.stream) return;
    for (const std::string& line : held) ctx.log.stream->write(line);
    ctx.log.stream->flush();
}

void logInfo(Process& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(ctx, "", format, args);
    va_end(args);
}

void logError(Process& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(ctx, "ERROR: ", format, args);
    va_end(args);
}

bool logEnabled(Process& ctx) {
    initLog(ctx);
    return ctx.log.stream != nullptr;
}

void logPhase(Process& ctx, const char* phase) {
    if (!logEnabled(ctx)) return;
    logInfo(ctx, "phase %s: %lld us", phase, static_cast<long long>(ctx.os.clock.microsecondsSinceStart()));
}

std::optional<std::string> getLogPath(const Process& ctx) { return ctx.log.path; }

}  // namespace kavrin
