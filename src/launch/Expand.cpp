#include "launch/Expand.h"

#include <array>

#include "config/Config.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "platform/Ascii.h"

namespace kavrin {

namespace {

enum class LauncherValue { ExeDir, TempDir, Separator, JvmHome };

struct VariablePattern {
    const char* pattern;
    LauncherValue value;
};

// Replaced in this order; the environment comes after all of them, so a launcher
// variable always wins over an environment variable of the same name.
constexpr std::array<VariablePattern, 20> kLauncherPatterns{{
    {"%KAVRIN_EXEDIR%", LauncherValue::ExeDir},
    {"%MOLVEX_EXEDIR%", LauncherValue::ExeDir},
    {"%KAVRIN_TEMPDIR%", LauncherValue::TempDir},
    {"%MOLVEX_TEMPDIR%", LauncherValue::TempDir},
    {"%KAVRIN_PATHLIST_SEPARATOR%", LauncherValue::Separator},
    {"%MOLVEX_PATHLIST_SEPARATOR%", LauncherValue::Separator},
    {"%KAVRIN_JVM_HOME%", LauncherValue::JvmHome},
    {"%MOLVEX_JVM_HOME%", LauncherValue::JvmHome},
    {"${KAVRIN_EXEDIR}", LauncherValue::ExeDir},
    {"${MOLVEX_EXEDIR}", LauncherValue::ExeDir},
    {"${KAVRIN_TEMPDIR}", LauncherValue::TempDir},
    {"${MOLVEX_TEMPDIR}", LauncherValue::TempDir},
    {"${KAVRIN_PATHLIST_SEPARATOR}", LauncherValue::Separator},
    {"${MOLVEX_PATHLIST_SEPARATOR}", LauncherValue::Separator},
    {"${KAVRIN_JVM_HOME}", LauncherValue::JvmHome},
    {"${MOLVEX_JVM_HOME}", LauncherValue::JvmHome},
    {"${launcher:sys.launcherDirectory}", LauncherValue::ExeDir},
    {"${launcher:sys.launcherTempDirectory}", LauncherValue::TempDir},
    {"${launcher:sys.pathlistSeparator}", LauncherValue::Separator},
    {"${launcher:sys.jvmHome}", LauncherValue::JvmHome},
}};

}  // namespace

bool replaceAllOccurrences(std::string& text, const std::string& pattern, const std::string& value) {
    if (pattern.empty()) return true;  // an empty pattern would match forever
    // Built in a new string: replacing in place costs a copy of the rest per occurrence.
    std::string out;
    size_t at = 0;
    size_t length = text.size();
    bool complete = true;
    for (size_t hit; (hit = text.find(pattern, at)) != std::string::npos; at = hit + pattern.size()) {
        length = length - pattern.size() + value.size();
        if (value.size() > pattern.size() && length > kMaxExpandedText) {
            complete = false;
            break;
        }
        // Inserted text is never searched again for this pattern.
        out.append(text, at, hit - at);
        out += value;
    }
    if (at == 0 && out.empty()) return complete;  // nothing replaced
    out.append(text, at, std::string::npos);
    text = std::move(out);
    return complete;
}

LauncherVariables launcherVariables(Process& ctx, const Config& config, std::string jvmHome,
                                    std::string extractionDirectory, std::vector<std::string> extractedFiles) {
    return LauncherVariables{resolvePath(ctx, ""), std::move(extractionDirectory), std::move(extractedFiles),
                             std::move(jvmHome), configuredFlavour(config)};
}

Expansion expandVariables(const std::string& text, const LauncherVariables& variables,
                          const std::vector<std::string>& environment) {
    Expansion out{text, true};
    for (const VariablePattern& p : kLauncherPatterns) {
        const std::string* value = nullptr;
        static const std::string kSeparator = ";";
        switch (p.value) {
        case LauncherValue::ExeDir: value = &variables.exeDirectory; break;
        case LauncherValue::TempDir: value = &variables.extractionDirectory; break;
        case LauncherValue::Separator: value = &kSeparator; break;
        case LauncherValue::JvmHome: value = &variables.jvmHome; break;
        }
        out.complete &= replaceAllOccurrences(out.text, p.pattern, *value);
    }
    for (const std::string& entry : environment) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        // Entries such as "=C:=C:\\dir" give an empty name and the pattern "${}".
        const std::string pattern = "${" + entry.substr(0, equals) + "}";
        const std::string value = entry.substr(equals + 1);
        out.complete &= replaceAllOccurrences(out.text, pattern, value);
        out.complete &= replaceAllOccurrences(out.text, upperAscii(pattern), value);  // _strupr
    }
    return out;
}

void expandInPlace(Process& ctx, const LauncherVariables& variables, std::string& text) {
    // Every reference starts with "%" or "${": without either there is nothing to replace,
    // and the environment block need not be fetched (several texts per start).
    if (text.find('%') == std::string::npos && text.find("${") == std::string::npos) return;
    Expansion expanded = expandVariables(text, variables, ctx.os.env.block().value_or(std::vector<std::string>{}));
    text = std::move(expanded.text);
    if (!expanded.complete)
        logError(ctx, "expanded text would exceed %d bytes; references left unexpanded",
                 static_cast<int>(kMaxExpandedText));
}

}  // namespace kavrin
