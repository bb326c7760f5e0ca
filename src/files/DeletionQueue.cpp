#include "files/DeletionQueue.h"

#include <optional>
#include <vector>

#include "config/Lists.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "platform/Registry.h"

namespace kavrin {

namespace {

// Each list is read into a buffer of this size; a longer list is not read at all.
constexpr size_t kQueueReadLimit = 8192;
// Only to tell "too long" from "missing": larger than anything the writer produces.
constexpr size_t kQueueProbeLimit = size_t{1} << 20;

struct QueueList {
    bool tooLong = false;
    std::string text;  // the entries as read; empty for a missing value
};

QueueList readQueueList(RegKey& key, const char* valueName) {
    if (auto value = key.queryValue(valueName, kQueueReadLimit)) {
        // Data written with a terminating zero ends there, as a C string would.
        std::string text = value->data;
        if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
        return {false, text};
    }
    // A partial or unread list must not be acted on, nor overwritten with survivors.
    if (key.queryValue(valueName, kQueueProbeLimit)) return {true, {}};
    return {false, {}};
}

std::string processFileList(Context& ctx, const std::string& list) {
    std::string survivors;
    for (const std::string& entry : splitList(list, ';')) {
        if (canOpenExclusively(ctx, entry)) {
            logInfo(ctx, "delete file %s", entry.c_str());
            ctx.os.fs.deleteFile(entry);
        }
        if (fileExists(ctx, entry)) {
            logInfo(ctx, "didn't delete %s", entry.c_str());
            survivors += entry + ";";
        }
    }
    return survivors;
}

std::string processDirectoryList(Context& ctx, const std::string& list) {
    std::string survivors;
    for (const std::string& entry : splitList(list, ';')) {
        if (entry.front() == '.') continue;  // never a path this launcher queued
        emptyDirectory(ctx, entry);
        ctx.os.fs.removeDirectory(entry);
        logInfo(ctx, "delete dir %s", entry.c_str());
        if (fileExists(ctx, entry)) {
            logInfo(ctx, "didn't delete %s", entry.c_str());
            survivors += entry + ";";
        }
    }
    return survivors;
}

void logTooLong(Context& ctx, const char* valueName) {
    logError(ctx, "deletion queue %s is longer than %d bytes, left unchanged", valueName,
             static_cast<int>(kQueueReadLimit));
}

}  // namespace

void processDeletionQueue(Context& ctx) {
    auto key = ctx.os.registry.openKey(RegRoot::CurrentUser, kDeletionQueueKey, RegAccess::ReadWrite);
    if (!key) return;

    const QueueList files = readQueueList(*key, kDeleteFileValue);
    if (files.tooLong) {
        logTooLong(ctx, kDeleteFileValue);
    } else {
        key->setValue(kDeleteFileValue, kRegSz, processFileList(ctx, files.text));
    }

    const QueueList dirs = readQueueList(*key, kDeleteDirValue);
    if (dirs.tooLong) {
        logTooLong(ctx, kDeleteDirValue);
        return;
    }
    logInfo(ctx, "delete queue %s", dirs.text.c_str());
    key->setValue(kDeleteDirValue, kRegSz, processDirectoryList(ctx, dirs.text));
}

void emptyDirectory(Context& ctx, const std::string& directory) {
    if (directory.empty() || directory.front() == '.') return;
    logInfo(ctx, "emptying %s", directory.c_str());
    const std::string separator = directory.back() == '\\' ? "" : "\\";
    for (const FindEntry& match : ctx.os.fs.find(directory + separator + "*.*")) {
        if (match.name == "." || match.name == "..") continue;
        const std::string path = directory + separator + match.name;
        // One level only: a subdirectory goes only when it is already empty.
        if (match.isDirectory) {
            logInfo(ctx, "attempting to remove %s", path.c_str());
            ctx.os.fs.removeDirectory(path);
        } else {
            logInfo(ctx, "attempting to delete %s", path.c_str());
            ctx.os.fs.deleteFile(path);
        }
    }
}

bool canOpenExclusively(Context& ctx, const std::string& path) {
    return ctx.os.fs.openFile(path, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting) != nullptr;
}

}  // namespace kavrin
