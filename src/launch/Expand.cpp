#include "launch/Expand.h"

#include <array>

#include "files/Paths.h"

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

// _strupr: only a to z change.
std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

void replaceAllOccurrences(std::string& text, const std::string& pattern, const std::string& value) {
    if (pattern.empty()) return;  // an empty pattern would match forever
    size_t cursor = 0;
    while ((cursor = text.find(pattern, cursor)) != std::string::npos) {
        text.replace(cursor, pattern.size(), value);
        // Inserted text is never searched again for this pattern.
        cursor += value.size();
    }
}

void expandVariables(Context& ctx, std::string& text) {
    const std::string exeDir = resolvePath(ctx, "");
    for (const VariablePattern& p : kLauncherPatterns) {
        switch (p.value) {
            case LauncherValue::ExeDir: replaceAllOccurrences(text, p.pattern, exeDir); break;
            case LauncherValue::TempDir: replaceAllOccurrences(text, p.pattern, ctx.extractionDirectory); break;
            case LauncherValue::Separator: replaceAllOccurrences(text, p.pattern, ";"); break;
            case LauncherValue::JvmHome: replaceAllOccurrences(text, p.pattern, ctx.jvmHome); break;
        }
    }

    const auto block = ctx.os.env.block();
    if (!block) return;
    for (const std::string& entry : *block) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        // Entries such as "=C:=C:\dir" give an empty name and the pattern "${}".
        const std::string pattern = "${" + entry.substr(0, equals) + "}";
        const std::string value = entry.substr(equals + 1);
        replaceAllOccurrences(text, pattern, value);
        replaceAllOccurrences(text, upperAscii(pattern), value);
    }
}

}  // namespace kavrin
