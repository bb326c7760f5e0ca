// expandVariables with a fuzzed text, extraction directory, JVM home and environment.
// Input: lines separated by LF: the text, the extraction directory, the JVM home,
// then environment entries (NAME=VALUE; an entry without "=" is kept as it is).
//
// Invariants: it terminates; a text without "%" and "${" is unchanged; a text
// without "$" does not depend on the environment; the result equals a plain
// left-to-right model of the ordered substitutions; replaceAllOccurrences never
// searches inserted text again for its own pattern; the text never grows past
// kMaxExpandedText.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "fakes/FakePlatform.h"
#include "launch/Expand.h"

using namespace kavrin;

namespace {

// Left to right; an occurrence whose value would make the whole text longer than
// kMaxExpandedText stops the replacing.
std::string modelReplace(const std::string& text, const std::string& pattern, const std::string& value) {
    if (pattern.empty()) return text;
    std::string out;
    size_t at = 0;
    for (size_t hit; (hit = text.find(pattern, at)) != std::string::npos; at = hit + pattern.size()) {
        const size_t whole = out.size() + (hit - at) + value.size() + (text.size() - hit - pattern.size());
        if (value.size() > pattern.size() && whole > kMaxExpandedText) break;
        out += text.substr(at, hit - at) + value;
    }
    return out + text.substr(at);
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

std::string model(std::string text, const std::string& exeDir, const std::string& tempDir, const std::string& jvmHome,
                  const std::vector<std::pair<std::string, std::string>>& env) {
    const std::string sep = ";";
    const std::vector<std::pair<std::string, std::string>> launcher = {
        {"%KAVRIN_EXEDIR%", exeDir},
        {"%MOLVEX_EXEDIR%", exeDir},
        {"%KAVRIN_TEMPDIR%", tempDir},
        {"%MOLVEX_TEMPDIR%", tempDir},
        {"%KAVRIN_PATHLIST_SEPARATOR%", sep},
        {"%MOLVEX_PATHLIST_SEPARATOR%", sep},
        {"%KAVRIN_JVM_HOME%", jvmHome},
        {"%MOLVEX_JVM_HOME%", jvmHome},
        {"${KAVRIN_EXEDIR}", exeDir},
        {"${MOLVEX_EXEDIR}", exeDir},
        {"${KAVRIN_TEMPDIR}", tempDir},
        {"${MOLVEX_TEMPDIR}", tempDir},
        {"${KAVRIN_PATHLIST_SEPARATOR}", sep},
        {"${MOLVEX_PATHLIST_SEPARATOR}", sep},
        {"${KAVRIN_JVM_HOME}", jvmHome},
        {"${MOLVEX_JVM_HOME}", jvmHome},
        {"${launcher:sys.launcherDirectory}", exeDir},
        {"${launcher:sys.launcherTempDirectory}", tempDir},
        {"${launcher:sys.pathlistSeparator}", sep},
        {"${launcher:sys.jvmHome}", jvmHome},
    };
    for (const auto& [pattern, value] : launcher) text = modelReplace(text, pattern, value);
    for (const auto& [name, value] : env) {
        const std::string pattern = "${" + name + "}";
        text = modelReplace(text, pattern, value);
        text = modelReplace(text, upper(pattern), value);
    }
    return text;
}

std::vector<std::string> splitLines(const std::string& input) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = input.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(input.substr(start, end - start));
    lines.push_back(input.substr(start));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> lines = splitLines(std::string(reinterpret_cast<const char*>(data), size));
    lines.resize(std::max<size_t>(lines.size(), 3));
    const std::string& original = lines[0];

    test::FakePlatform fake;
    std::vector<std::pair<std::string, std::string>> env;
    for (size_t i = 3; i < lines.size(); ++i) {
        const size_t eq = lines[i].find('=');
        // The fake's block joins name and value with "="; a name without one stays whole.
        if (eq == std::string::npos) {
            fake.env.vars.emplace_back(lines[i], "");
            env.emplace_back(lines[i], "");
        } else {
            fake.env.vars.emplace_back(lines[i].substr(0, eq), lines[i].substr(eq + 1));
            env.emplace_back(lines[i].substr(0, eq), lines[i].substr(eq + 1));
        }
    }
    Process ctx(fake.platform);
    Config config;
    const LauncherVariables vars = launcherVariables(ctx, config, lines[2], lines[1]);

    std::string text = original;
    expandInPlace(ctx, vars, text);
    const std::string exeDir = "C:\\App\\";

    if (original.find('%') == std::string::npos && original.find("${") == std::string::npos)
        FUZZ_CHECK(text == original, "a text without references changed");
    FUZZ_CHECK(text.size() <= std::max(original.size(), kMaxExpandedText), "expansion grew past its limit");
    FUZZ_CHECK(text == model(original, exeDir, lines[1], lines[2], env), "expansion differs from the model");

    if (original.find('$') == std::string::npos && lines[1].find('$') == std::string::npos &&
        lines[2].find('$') == std::string::npos) {
        const std::string alone = expandVariables(original, vars, {}).text;
        FUZZ_CHECK(alone == text, "a text without \"$\" depends on the environment");
    }

    // A value holding its own pattern is inserted once, never re-expanded.
    if (!lines[2].empty()) {
        std::string self = original;
        replaceAllOccurrences(self, lines[2], lines[2] + lines[2]);
        FUZZ_CHECK(self == modelReplace(original, lines[2], lines[2] + lines[2]), "self-containing value re-expanded");
    }
    return 0;
}
