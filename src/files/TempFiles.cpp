#include "files/TempFiles.h"

#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"

namespace kavrin {

namespace {

constexpr const char* kTempPrefix = "kvr";
constexpr const char* kPowerUserText = "I am sorry, but you must be at least Poweruser to run this program.\n";

// The fallbacks when the system temporary path is not usable as narrow text.
std::optional<std::string> findFallbackTempDirectory(Process& ctx) {
    const std::vector<std::string> candidates = temporaryDirectoryCandidates(ctx);
    for (auto candidate = candidates.begin() + 1; candidate != candidates.end(); ++candidate) {
        if (isWritableDirectory(ctx, *candidate)) return *candidate;
    }
    if (isWritableDirectory(ctx, "c:\\")) {
        const std::string tmp = "c:\\tmp";
        ctx.os.fs.createDirectory(tmp);
        if (isWritableDirectory(ctx, tmp)) return tmp;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> temporaryDirectoryCandidates(Process& ctx) {
    const std::string windows = ctx.os.fs.windowsDirectory();
    return {ctx.os.fs.tempPath(), windows + "\\temp", "c:\\temp", "c:\\tmp", windows};
}

std::string getTempDirectory(Process& ctx) {
    const std::string tempPath = ctx.os.fs.tempPath();
    if (!tempPath.empty()) {
        // A "?" in the long form means a character the ANSI code page cannot carry.
        if (auto longForm = ctx.os.fs.longPathName(tempPath)) {
            if (longForm->find('?') == std::string::npos) return tempPath;
        } else if (tempPath.find('?') == std::string::npos && isWritableDirectory(ctx, tempPath)) {
            // Without a long form we cannot vouch for the name, so the path must prove itself usable.
            return tempPath;
        }
    }
    if (auto fallback = findFallbackTempDirectory(ctx)) return *fallback;
    ctx.os.console.messageBox(kPowerUserText, "Error");
    exitWithCleanup(ctx, 1);
}

bool isWritableDirectory(Process& ctx, const std::string& directory) {
    const std::string probe = directory + "\\kvr_w_testdir";
    ctx.os.fs.removeDirectory(probe);  // a leftover from an earlier probe
    if (!ctx.os.fs.createDirectory(probe)) return false;
    const bool exists = fileExists(ctx, probe);
    ctx.os.fs.removeDirectory(probe);
    return exists;
}

std::string createTempFileName(Process& ctx) {
    const std::string directory = getTempDirectory(ctx);
    if (auto name = ctx.os.fs.tempFileName(directory, kTempPrefix)) return *name;
    logError(ctx, "GetTempFileName failed in %s: %u", directory.c_str(), ctx.os.fs.lastError());
    return {};
}

std::string getProcessCommFileName(Process& ctx, uint32_t processId) {
    return formatText("%skvr_p%d.tmp", ctx.os.fs.tempPath().c_str(), static_cast<int>(processId));
}

}  // namespace kavrin
