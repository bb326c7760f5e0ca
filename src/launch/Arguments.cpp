#include "launch/Arguments.h"

#include "config/Config.h"
#include "config/ExePath.h"
#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "launch/Expand.h"

namespace kavrin {

namespace {

constexpr char16_t kSpace = u' ';
constexpr char16_t kDoubleQuote = u'"';
constexpr char16_t kSingleQuote = u'\'';

// MultiByteToWideChar of a whole text; a failed conversion yields nothing.
std::u16string widenFrom(Context& ctx, CodePage cp, const std::string& text) {
    if (text.empty()) return {};
    auto wide = ctx.os.codePages.toWide(cp, text);
    if (!wide) {
        logError(ctx, "could not convert \"%s\" to UTF-16", text.c_str());
        return {};
    }
    return *wide;
}

// A configured log file name as the start class receives it: expanded, made full,
// widened from the file-API code page; empty when the flag key is 0.
std::u16string logFileParameter(Context& ctx, const LauncherVariables& vars, int32_t flagKey, int32_t nameKey) {
    if (getConfigInt(ctx, flagKey) == 0) return {};
    std::string name = getConfigString(ctx, nameKey);
    expandInPlace(ctx, vars, name);
    return widenFrom(ctx, fileApiCodePage(ctx), makeFullPath(ctx, name, true));
}

}  // namespace

std::u16string widenBytes(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

std::string narrowUnits(const std::u16string& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t unit : text) narrow.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    return narrow;
}

bool isJvmArgument(const std::u16string& argument) {
    return argument.size() >= 2 && argument[0] == u'-' && argument[1] == u'J';
}

size_t takeQuotedArgument(Context& ctx, const std::u16string& text, WideList& out, size_t quotePos,
                          size_t argStart, char16_t quote) {
    const size_t closing = text.find(quote, quotePos + 1);
    if (closing == std::u16string::npos) reportFatalKey(ctx, key::kMsgWrongParameter, std::nullopt);
    out.push_back(text.substr(argStart, quotePos - argStart) +
                  text.substr(quotePos + 1, closing - quotePos - 1));
    size_t next = closing + 1;
    if (next < text.size() && text[next] == kSpace) ++next;
    return next;
}

void splitArguments(Context& ctx, const std::u16string& text, WideList& out) {
    constexpr size_t npos = std::u16string::npos;
    size_t cursor = 0;
    while (cursor < text.size()) {
        const size_t dq = text.find(kDoubleQuote, cursor);
        const size_t sq = text.find(kSingleQuote, cursor);
        const size_t space = text.find(kSpace, cursor);
        if (space == cursor) {
            ++cursor;
            continue;
        }
        if (space != npos && space < dq && space < sq) {
            out.push_back(text.substr(cursor, space - cursor));
            cursor = space + 1;
        } else if (dq != npos && (sq == npos || dq < sq)) {
            cursor = takeQuotedArgument(ctx, text, out, dq, cursor, kDoubleQuote);
        } else if (sq != npos) {
            cursor = takeQuotedArgument(ctx, text, out, sq, cursor, kSingleQuote);
        } else {
            out.push_back(text.substr(cursor));
            cursor = text.size();
        }
    }
}

void splitArgumentsNarrow(Context& ctx, const std::string& text, NarrowList& out) {
    WideList wide;
    splitArguments(ctx, widenFrom(ctx, CodePage::Ansi, text), wide);
    for (const std::u16string& argument : wide) out.push_back(narrowUnits(argument));
}

void addStartClassParameters(Context& ctx, const LauncherVariables& vars, WideList& mainArguments) {
    mainArguments.push_back(getConfigInt(ctx, key::kLauncherType) == launcherType::kGui ? u"true" : u"false");
    mainArguments.push_back(widenBytes(getConfigString(ctx, key::kMainClass)));
    mainArguments.push_back(logFileParameter(ctx, vars, key::kPassErrorLog, key::kErrorLogFile));
    mainArguments.push_back(logFileParameter(ctx, vars, key::kPassOutputLog, key::kOutputLogFile));
    mainArguments.push_back(getConfigInt(ctx, key::kStartClassFlag) != 0 ? u"true" : u"false");
}

WideList buildMainArguments(Context& ctx, const LauncherVariables& vars, const WideList& launcherArguments) {
    WideList mainArguments;
    addStartClassParameters(ctx, vars, mainArguments);
    // The first launcher argument always stays, even when it looks like "-J...".
    if (!launcherArguments.empty()) mainArguments.push_back(launcherArguments.front());

    std::string fixed = getConfigString(ctx, key::kArguments);
    expandInPlace(ctx, vars, fixed);
    splitArguments(ctx, widenFrom(ctx, CodePage::Ansi, fixed), mainArguments);

    const bool routeToJvm = getConfigInt(ctx, key::kRouteJArguments) != 0;
    for (size_t i = 1; i < launcherArguments.size(); ++i) {
        if (routeToJvm && isJvmArgument(launcherArguments[i])) continue;
        mainArguments.push_back(launcherArguments[i]);
    }
    return mainArguments;
}

}  // namespace kavrin
