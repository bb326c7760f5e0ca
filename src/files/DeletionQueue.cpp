#include "files/DeletionQueue.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <vector>

#include "config/Lists.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "files/TempFiles.h"
#include "platform/Ascii.h"
#include "platform/Registry.h"

namespace kavrin {

namespace {

// Everything scheduleDeletion may have written; a longer list is someone else's and not read.
constexpr size_t kQueueReadLimit = kDeletionListBuffer;
// Only to tell "too long" from "missing".
constexpr size_t kQueueProbeLimit = size_t{1} << 20;

struct QueueList {
    bool tooLong = false;
    std::string text;     // the entries as read; empty for a missing value
    bool stored = false;  // a string value with exactly this text is there
    // A string value of this text, perhaps with the one terminator a string may come back
    // with (Wine adds it on reading): nothing in it beyond the text.
    bool whole = false;
};

QueueList readQueueList(RegKey& key, const char* valueName) {
    if (auto value = key.queryValue(valueName, kQueueReadLimit)) {
        // Data written with a terminating zero ends there, as a C string would.
        std::string text = value->data;
        if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
        const bool isString = value->type == kRegSz;
        return {false, text, isString && text == value->data,
                isString && (text == value->data || text + '\0' == value->data)};
    }
    // A partial or unread list must not be acted on, nor overwritten with survivors.
    if (key.queryValue(valueName, kQueueProbeLimit)) return {true, {}};
    return {false, {}};
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Consumes what matches at pos: at least min and at most max characters of the class.
bool take(const std::string& name, size_t& pos, bool (*inClass)(char), size_t min, size_t max) {
    size_t count = 0;
    while (pos < name.size() && count < max && inClass(name[pos])) ++pos, ++count;
    return count >= min;
}
bool takeText(const std::string& name, size_t& pos, const char* text) {
    const size_t length = std::strlen(text);
    if (!equalsIgnoringAsciiCase(name.substr(pos, length), text)) return false;
    pos += length;
    return true;
}

// The names this launcher queues: kvr<hex>.tmp_dir<n>, kvr<hex>.tmp and kvr_p<pid>.tmp.
bool isOwnQueuedName(const std::string& name, QueueKind kind) {
    size_t pos = 0;
    if (!takeText(name, pos, "kvr")) return false;
    if (kind == QueueKind::File && takeText(name, pos, "_p"))
        return take(name, pos, isDigit, 1, 10) && takeText(name, pos, ".tmp") && pos == name.size();
    if (!take(name, pos, isHexDigit, 1, 4) || !takeText(name, pos, ".tmp")) return false;
    if (kind == QueueKind::File) return pos == name.size();
    return takeText(name, pos, "_dir") && take(name, pos, isDigit, 1, 5) && pos == name.size();
}

std::string withoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

std::string processFileList(Process& ctx, const std::string& list) {
    std::string survivors;
    for (const std::string& entry : splitList(list, ';')) {
        if (!isOwnQueueEntry(ctx, entry, QueueKind::File)) {
            survivors += entry + ";";  // another program's: not ours to judge
            continue;
        }
        const std::optional<PathKind> kind = ctx.os.fs.pathKind(entry);
        if (kind && kind->link) {
            // Removed as a link: opening it would reach whatever it points to.
            logInfo(ctx, "delete file %s", entry.c_str());
            if (kind->directory) {
                ctx.os.fs.removeDirectory(entry);
            } else {
                ctx.os.fs.deleteFile(entry);
            }
        } else if (canOpenExclusively(ctx, entry)) {
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

std::string processDirectoryList(Process& ctx, const std::string& list) {
    std::string survivors;
    for (const std::string& entry : splitList(list, ';')) {
        if (entry.front() == '.') continue;  // never a path this launcher queued
        if (isHeldDirectory(ctx, entry)) {
            logInfo(ctx, "kept, in use by this process: %s", entry.c_str());
            survivors += entry + ";";
            continue;
        }
        if (!isOwnQueueEntry(ctx, entry, QueueKind::Directory)) {
            survivors += entry + ";";  // another program's: not ours to judge
            continue;
        }
        const std::optional<PathKind> kind = ctx.os.fs.pathKind(entry);
        if (kind && kind->link) {
            // A junction or link made where a queued directory was: never emptied, its
            // target untouched; only the link itself goes.
            if (kind->directory) {
                ctx.os.fs.removeDirectory(entry);
            } else {
                ctx.os.fs.deleteFile(entry);
            }
        } else {
            emptyDirectory(ctx, entry);
            ctx.os.fs.removeDirectory(entry);
        }
        logInfo(ctx, "delete dir %s", entry.c_str());
        if (fileExists(ctx, entry)) {
            logInfo(ctx, "didn't delete %s", entry.c_str());
            survivors += entry + ";";
        }
    }
    return survivors;
}

// Nothing to delete and nothing to rewrite: the file list stored empty and the directory
// list naming only directories this process holds (none, or the earlier start's directory
// this start took). A read-only look, without the lock, giving the directory list; anything
// else (a missing value, a terminator inside a list, any other entry) takes the full path.
std::optional<std::string> onlyHeldQueued(Process& ctx, RegKey& key) {
    const std::optional<RegValue> files = key.queryValue(kDeleteFileValue, 1);
    if (!files || files->type != kRegSz || !files->data.empty()) return std::nullopt;
    QueueList dirs = readQueueList(key, kDeleteDirValue);
    const std::vector<std::string> entries = splitList(dirs.text, ';');
    // Without entries only a value stored empty is left as it is: the full path tidies
    // anything else (a stray separator or terminator) away.
    if (entries.empty() ? !(dirs.stored && dirs.text.empty()) : !dirs.whole) return std::nullopt;
    for (const std::string& entry : entries)
        if (!isHeldDirectory(ctx, entry)) return std::nullopt;
    return std::move(dirs.text);
}

void logTooLong(Process& ctx, const char* valueName) {
    logError(ctx, "deletion queue %s is longer than %d bytes, left unchanged", valueName,
             static_cast<int>(kQueueReadLimit));
}

}  // namespace

bool isOwnQueueEntry(Process& ctx, const std::string& entry, QueueKind kind) {
    const size_t slash = entry.rfind('\\');
    if (slash == std::string::npos || !isOwnQueuedName(entry.substr(slash + 1), kind)) return false;
    // Directly in a temporary directory the launcher may have used, nowhere else.
    const std::string parent = withoutTrailingBackslash(entry.substr(0, slash + 1));
    for (const std::string& candidate : temporaryDirectoryCandidates(ctx))
        if (equalsIgnoringAsciiCase(parent, withoutTrailingBackslash(candidate))) return true;
    return false;
}

void processDeletionQueue(Process& ctx) {
    // One open in the usual case; a key we may only read can still say there is nothing to do.
    auto key = ctx.os.registry.openKey(RegRoot::CurrentUser, kDeletionQueueKey, RegAccess::ReadWrite);
    const auto peek = key ? nullptr : ctx.os.registry.openKey(RegRoot::CurrentUser, kDeletionQueueKey, RegAccess::Read);
    if (RegKey* look = key ? key.get() : peek.get()) {
        if (const auto dirs = onlyHeldQueued(ctx, *look)) {
            logInfo(ctx, "delete queue %s", dirs->c_str());
            processDirectoryList(ctx, *dirs);  // every entry held: only their log lines
            return;
        }
    }
    if (!key) return;
    // Other launchers (and this one's control handler) rewrite the same values.
    const std::unique_ptr<NamedLock> lock = lockDeletionQueue(ctx);
    if (!lock) {
        logError(ctx, "deletion queue busy, left for the next start");
        return;
    }

    const QueueList files = readQueueList(*key, kDeleteFileValue);
    if (files.tooLong) {
        logTooLong(ctx, kDeleteFileValue);
    } else {
        // Rewritten only when it changes: it is nearly always empty, and stays so.
        const std::string survivors = processFileList(ctx, files.text);
        if (!files.stored || survivors != files.text) key->setValue(kDeleteFileValue, kRegSz, survivors);
    }

    const QueueList dirs = readQueueList(*key, kDeleteDirValue);
    if (dirs.tooLong) {
        logTooLong(ctx, kDeleteDirValue);
        return;
    }
    logInfo(ctx, "delete queue %s", dirs.text.c_str());
    key->setValue(kDeleteDirValue, kRegSz, processDirectoryList(ctx, dirs.text));
}

std::vector<std::string> queuedDirectories(Process& ctx) {
    std::vector<std::string> own;
    auto key = ctx.os.registry.openKey(RegRoot::CurrentUser, kDeletionQueueKey, RegAccess::Read);
    if (!key) return own;
    for (const std::string& entry : splitList(readQueueList(*key, kDeleteDirValue).text, ';'))
        if (isOwnQueueEntry(ctx, entry, QueueKind::Directory)) own.push_back(entry);
    return own;
}

void emptyDirectory(Process& ctx, const std::string& directory) {
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

bool canOpenExclusively(Process& ctx, const std::string& path) {
    return ctx.os.fs.openFile(path, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting) != nullptr;
}

}  // namespace kavrin
