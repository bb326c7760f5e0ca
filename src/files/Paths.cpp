#include "files/Paths.h"

#include "config/ExePath.h"
#include "config/Lists.h"
#include "platform/Ascii.h"

namespace kavrin {

bool isRelativePath(const std::string& path) {
    if (path.size() < 3) return true;
    std::string_view p(path);
    if (p[0] == '"') {
        if (p.size() < 4) return true;
        p.remove_prefix(1);
    }
    const bool driveAbsolute = p[1] == ':' && p[2] == '\\';
    const bool unc = p[0] == '\\' && p[1] == '\\';
    return !(driveAbsolute || unc);
}

void lowerCasePath(Process& ctx, std::string& path) {
    const CodePage cp = fileApiCodePage(ctx);
    auto wide = ctx.os.codePages.toWide(cp, path);
    if (!wide) return;
    for (char16_t& unit : *wide) unit = asciiLower(unit);
    bool usedDefault = false;
    auto narrow = ctx.os.codePages.toNarrow(cp, *wide, usedDefault);
    if (narrow && !usedDefault) path = std::move(*narrow);
}

std::string resolvePath(Process& ctx, const std::string& path) {
    std::string out;
    if (isRelativePath(path)) {
        if (!ctx.executableDirectory) {
            // Computed once: a later change of the current directory does not move it.
            auto full = ctx.os.fs.fullPathName(getExecutablePath(ctx));
            ctx.executableDirectory = full ? full->path.substr(0, full->filePart) : std::string();
        }
        out = *ctx.executableDirectory;
    }
    out += path;
    collapseBackslashes(ctx, out);
    return out;
}

std::string makeFullPath(Process& ctx, const std::string& path, PathCase pathCase) {
    const std::string resolved = resolvePath(ctx, path);
    auto full = ctx.os.fs.fullPathName(resolved);
    std::string out = full ? full->path : std::string();
    if (pathCase == PathCase::Lower) lowerCasePath(ctx, out);
    collapseBackslashes(ctx, out);
    return out;
}

std::string resolvePathList(Process& ctx, const std::string& list) {
    std::string out;
    for (const std::string& entry : splitList(list, ';')) {
        if (!out.empty()) out += ';';
        out += resolvePath(ctx, entry);
    }
    return out;
}

bool namesOneEntry(std::string_view path) {
    if (path.find_first_of("*?<>\"") != std::string_view::npos) return false;
    const size_t split = path.find_last_of("\\/");
    const std::string_view last = split == std::string_view::npos ? path : path.substr(split + 1);
    if (last.empty() || last == "." || last == ".." || last.back() == '.' || last.back() == ' ') return false;
    const size_t colon = last.find(':');
    if (colon == std::string_view::npos) return true;
    // "C:name" is the drive's current directory plus a name; any other colon names a stream.
    const bool driveRelative = split == std::string_view::npos && colon == 1 && last.size() > 2;
    return driveRelative && last.find(':', 2) == std::string_view::npos;
}

bool getLastWriteTime(Process& ctx, const std::string& path, FileTime* time) {
    // A search opens the directory (four server round trips under Wine) and a start checks
    // several paths whose directory exists; a plain path is looked up directly.
    std::optional<FileTime> lastWrite;
    if (namesOneEntry(path)) {
        lastWrite = ctx.os.fs.lastWriteTime(path);
    } else if (auto entry = ctx.os.fs.findFirst(path)) {
        lastWrite = entry->lastWrite;
    }
    if (!lastWrite) return false;
    if (time) *time = *lastWrite;
    return true;
}

bool fileExists(Process& ctx, const std::string& path) {
    if (path.size() >= 2) {
        // A drive root exists whatever the drive letter; no search needed.
        const std::string_view rest = std::string_view(path).substr(1);
        if (rest == ":\\" || rest == ":\\." || rest == ":\\.\\.") return true;
    }
    // Held open without delete sharing, so it cannot have gone: no search (the class path
    // asks twice for the extraction directory).
    if (isHeldDirectory(ctx, path)) return true;
    return getLastWriteTime(ctx, path, nullptr);
}

bool isHeldDirectory(const Process& ctx, const std::string& path) {
    for (const std::string& held : ctx.heldDirectories)
        if (equalsIgnoringAsciiCase(held, path)) return true;
    return false;
}

}  // namespace kavrin
