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
std::u16string widenFrom(Process& ctx, CodePage cp, const std::string& text) {
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
std::u16string logFileParameter(Process& ctx, const Config& config, const LauncherVariables& vars, int32_t flagKey,
                                int32_t nameKey) {
    if (getConfigInt(config, flagKey) == 0) return {};
    std::string name = getConfigString(config, nameKey);
    expandInPlace(ctx, vars, name);
    return widenFrom(ctx, fileApiCodePage(ctx), makeFullPath(ctx, name, PathCase::Keep));
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

namespace {

// The quoted part that opens at quotePos closes at `closing`: the argument is what
// precedes the quote plus the quoted text; returns where splitting goes on.
size_t appendQuoted(const std::u16string& text, WideList& out, size_t quotePos, size_t argStart, size_t closing) {
    out.push_back(text.substr(argStart, quotePos - argStart) + text.substr(quotePos + 1, closing - quotePos - 1));
    size_t next = closing + 1;
    if (next < text.size() && text[next] == kSpace) ++next;
    return next;
}

// The splitting rule; false at a quote without its closing partner.
bool splitInto(const std::u16string& text, WideList& out) {
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
        } else if (dq != npos || sq != npos) {
            const size_t quotePos = dq != npos && (sq == npos || dq < sq) ? dq : sq;
            const size_t closing = text.find(text[quotePos], quotePos + 1);
            if (closing == npos) return false;
            cursor = appendQuoted(text, out, quotePos, cursor, closing);
        } else {
            out.push_back(text.substr(cursor));
            cursor = text.size();
        }
    }
    return true;
}

}  // namespace

size_t takeQuotedArgument(Process& ctx, const Config& config, const std::u16string& text, WideList& out,
                          size_t quotePos, size_t argStart, char16_t quote) {
    const size_t closing = text.find(quote, quotePos + 1);
    if (closing == std::u16string::npos) reportFatalKey(ctx, config, key::kMsgWrongParameter, std::nullopt);
    return appendQuoted(text, out, quotePos, argStart, closing);
}

std::optional<WideList> splitArgumentText(const std::u16string& text) {
    WideList out;
    if (!splitInto(text, out)) return std::nullopt;
    return out;
}

void splitArguments(Process& ctx, const Config& config, const std::u16string& text, WideList& out) {
    if (!splitInto(text, out)) reportFatalKey(ctx, config, key::kMsgWrongParameter, std::nullopt);
}

void splitArgumentsNarrow(Process& ctx, const Config& config, const std::string& text, NarrowList& out) {
    WideList wide;
    splitArguments(ctx, config, widenFrom(ctx, CodePage::Ansi, text), wide);
    for (const std::u16string& argument : wide) out.push_back(narrowUnits(argument));
}

void addStartClassParameters(Process& ctx, const Config& config, const LauncherVariables& vars,
                             WideList& mainArguments) {
    mainArguments.push_back(getConfigInt(config, key::kLauncherType) == launcherType::kGui ? u"true" : u"false");
    mainArguments.push_back(widenBytes(getConfigString(config, key::kMainClass)));
    mainArguments.push_back(logFileParameter(ctx, config, vars, key::kPassErrorLog, key::kErrorLogFile));
    mainArguments.push_back(logFileParameter(ctx, config, vars, key::kPassOutputLog, key::kOutputLogFile));
    mainArguments.push_back(getConfigInt(config, key::kStartClassFlag) != 0 ? u"true" : u"false");
}

WideList buildMainArguments(Process& ctx, const Config& config, const LauncherVariables& vars,
                            const WideList& launcherArguments) {
    WideList mainArguments;
    addStartClassParameters(ctx, config, vars, mainArguments);
    // The first launcher argument always stays, even when it looks like "-J...".
    if (!launcherArguments.empty()) mainArguments.push_back(launcherArguments.front());

    std::string fixed = getConfigString(config, key::kArguments);
    expandInPlace(ctx, vars, fixed);
    splitArguments(ctx, config, widenFrom(ctx, CodePage::Ansi, fixed), mainArguments);

    const bool routeToJvm = getConfigInt(config, key::kRouteJArguments) != 0;
    for (size_t i = 1; i < launcherArguments.size(); ++i) {
        if (routeToJvm && isJvmArgument(launcherArguments[i])) continue;
        mainArguments.push_back(launcherArguments[i]);
    }
    return mainArguments;
}

}  // namespace kavrin
