#include "diagnostics/Log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

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

bool switchedOn(Context& ctx, const char* variable) {
    auto value = ctx.os.env.get(variable);
    return value && *value == "yes";
}

void writeLine(Context& ctx, const char* prefix, const char* format, va_list args) {
    initLog(ctx);
    if (!ctx.log.stream) return;
    ctx.log.stream->write(prefix + vformat(format, args) + "\n");
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

void initLog(Context& ctx) {
    if (ctx.log.tried) return;
    ctx.log.tried = true;
    // Both variables are read; either one switches the log on.
    const bool kavrinOn = switchedOn(ctx, "KAVRIN_LOG");
    const bool molvexOn = switchedOn(ctx, "MOLVEX_LOG");
    if (!kavrinOn && !molvexOn) return;

    ctx.log.path = ctx.os.fs.uniqueTempName("c:\\", "mvx_nlog_");
    if (ctx.log.path) ctx.log.stream = ctx.os.fs.createText(*ctx.log.path);
    if (!ctx.log.stream) {
        ctx.log.path = "c:\\mvx_nlog";
        ctx.log.stream = ctx.os.fs.createText(*ctx.log.path);
        if (!ctx.log.stream) return;
    }
    ctx.log.stream->write(formatText("Started executable %s at %s\n", ctx.os.module.fileNameA().c_str(),
                                     ctx.os.clock.ctimeNow().c_str()));
    ctx.log.stream->flush();
}

void logInfo(Context& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(ctx, "", format, args);
    va_end(args);
}

void logError(Context& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(ctx, "ERROR: ", format, args);
    va_end(args);
}

bool logEnabled(Context& ctx) {
    initLog(ctx);
    return ctx.log.stream != nullptr;
}

void logPhase(Context& ctx, const char* phase) {
    if (!logEnabled(ctx)) return;
    logInfo(ctx, "phase %s: %lld us", phase, static_cast<long long>(ctx.os.clock.microsecondsSinceStart()));
}

std::optional<std::string> getLogPath(const Context& ctx) { return ctx.log.path; }

}  // namespace kavrin
