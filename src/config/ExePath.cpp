#include "config/ExePath.h"

#include "platform/Ascii.h"

namespace kavrin {

namespace {

bool endsWithExe(const std::string& path) { return endsWithIgnoringAsciiCase(path, ".exe"); }

// The wide module name converted to narrow text, or nullopt when the code page cannot
// spell it or it does not look like an executable's path.
std::optional<std::string> usableNarrow(Process& ctx, const std::u16string& wide) {
    bool usedDefault = false;
    auto narrow = ctx.os.codePages.toNarrow(fileApiCodePage(ctx), wide, usedDefault);
    if (!narrow || usedDefault || !endsWithExe(*narrow)) return std::nullopt;
    return narrow;
}

}  // namespace

CodePage fileApiCodePage(Process& ctx) { return ctx.os.codePages.fileApisAnsi() ? CodePage::Ansi : CodePage::Oem; }

bool isWindowsNT(Process& ctx) { return ctx.os.module.isWindowsNT(); }

const std::string& getExecutablePath(Process& ctx) {
    if (ctx.executablePath) return *ctx.executablePath;
    std::string path;
    if (!isWindowsNT(ctx)) {
        path = ctx.os.module.fileNameA();
    } else {
        const std::u16string wide = ctx.os.module.fileNameW();
        if (auto narrow = usableNarrow(ctx, wide)) {
            path = *narrow;
        } else if (auto shortWide = ctx.os.module.shortPathW(wide); shortWide && usableNarrow(ctx, *shortWide)) {
            path = *usableNarrow(ctx, *shortWide);
        } else {
            path = ctx.os.fs.shortPathName(ctx.os.module.fileNameA()).value_or(std::string());
        }
    }
    collapseBackslashes(ctx, path);
    ctx.executablePath = std::move(path);
    return *ctx.executablePath;
}

void collapseBackslashes(Process& ctx, std::string& path) {
    const CodePage cp = fileApiCodePage(ctx);
    auto wide = ctx.os.codePages.toWide(cp, path);
    if (!wide || wide->empty()) return;
    std::u16string kept;
    kept.reserve(wide->size());
    kept.push_back((*wide)[0]);
    for (size_t i = 1; i < wide->size(); ++i) {
        const char16_t unit = (*wide)[i];
        // The first unit never counts as "the last kept backslash", so a UNC pair survives.
        if (unit == u'\\' && kept.size() > 1 && kept.back() == u'\\') continue;
        kept.push_back(unit);
    }
    bool usedDefault = false;
    auto narrow = ctx.os.codePages.toNarrow(cp, kept, usedDefault);
    if (narrow && !usedDefault) path = std::move(*narrow);
}

}  // namespace kavrin
