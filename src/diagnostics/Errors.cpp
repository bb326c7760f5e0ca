#include "diagnostics/Errors.h"

#include <cstdlib>

#include "diagnostics/Log.h"

namespace kavrin {

namespace {
// Short: the control handler waits here while the service manager waits for it.
constexpr uint32_t kQueueLockWaitMs = 5000;
}  // namespace

std::string substituteFirstPlaceholder(const std::string& text, const std::optional<std::string>& argument) {
    if (!argument) return text;
    const size_t at = text.find("{0}");
    if (at == std::string::npos) return text;
    return text.substr(0, at) + *argument + text.substr(at + 3);
}

// Composed in a std::string: a long argument or log path is shown whole, never cut or overrun.
std::string composeErrorText(const std::string& text, const std::optional<std::string>& logPath) {
    if (!logPath) return text;
    return text + "\n\nLog: " + *logPath;
}

void showErrorMessage(Process& ctx, const std::string& text) {
    runExitCleanup(ctx);
    std::optional<std::string> logPath = getLogPath(ctx);
    if (logPath) logPath = ctx.os.fs.longPathName(*logPath).value_or(*logPath);
    const std::string composed = composeErrorText(text, logPath);
    if (!ctx.fatal.eventSource && ctx.fatal.eventSourceIfServiceStart && ctx.os.services.parentIsServiceManager())
        ctx.fatal.eventSource = ctx.fatal.eventSourceIfServiceStart;
    if (ctx.fatal.eventSource) {
        // A service: no console, and a message box in its session would block for ever.
        ctx.os.console.reportEvent(*ctx.fatal.eventSource, Console::EventType::Error, composed);
    } else if (ctx.fatal.useMessageBox) {
        ctx.os.console.messageBox(composed, ctx.fatal.caption);
    } else {
        ctx.os.console.err(composed + "\n");
    }
}

void recordExitCode(Process& ctx, uint32_t code) { ctx.fatal.exitCode.store(code); }

std::optional<uint32_t> recordedExitCode(const Process& ctx) {
    const int64_t code = ctx.fatal.exitCode.load();
    if (code < 0) return std::nullopt;
    return static_cast<uint32_t>(code);
}

void reportFatal(Process& ctx, const std::string& text) {
    showErrorMessage(ctx, text);
    recordExitCode(ctx, 1);
    ctx.os.exit.exitProcess(1);
    std::abort();  // the platform call does not return
}

void exitWithCleanup(Process& ctx, uint32_t code) {
    runExitCleanup(ctx);
    recordExitCode(ctx, code);
    ctx.os.exit.exitProcess(code);
    std::abort();
}

void registerDirectoryForCleanup(Process& ctx, const std::string& directory) {
    if (!directory.empty() && directory[0] == '.') return;
    ctx.cleanupList.push_back(directory);
}

void runExitCleanup(Process& ctx) {
    for (const std::string& directory : ctx.cleanupList) scheduleDeletion(ctx, directory, kDeleteDirValue);
}

std::unique_ptr<NamedLock> lockDeletionQueue(Process& ctx) {
    return ctx.os.processes.lockNamed(kDeletionQueueLock, kQueueLockWaitMs);
}

void scheduleDeletion(Process& ctx, const std::string& path, const char* valueName) {
    auto key = ctx.os.registry.createKey(RegRoot::CurrentUser, kDeletionQueueKey);
    if (!key) return;
    // Without the lock the entry is still written: an entry lost to a race is no worse
    // than one never written.
    const std::unique_ptr<NamedLock> lock = lockDeletionQueue(ctx);
    std::string list;
    size_t reported = 0;
    if (auto value = key->queryValue(valueName, kDeletionListBuffer)) {
        reported = value->data.size();
        // The list is text: anything after a stray terminator is not part of it.
        list = value->data.substr(0, value->data.find('\0'));
    }
    if (path.size() + reported + 2 < kDeletionListBuffer) {
        list += path;
        list += ';';
        key->setValue(valueName, kRegSz, list);
        logInfo(ctx, "schedule for deletion in %s: %s", valueName, path.c_str());
    } else {
        logInfo(ctx, "couldn't schedule for deletion in %s: %s", valueName, path.c_str());
    }
}

}  // namespace kavrin
