#include "launch/ClassPath.h"

#include <algorithm>
#include <string_view>

#include "config/Config.h"
#include "config/Keys.h"
#include "config/Lists.h"
#include "diagnostics/Errors.h"
#include "files/Paths.h"
#include "launch/Expand.h"
#include "platform/Ascii.h"

namespace kavrin {

namespace {

bool endsWith(const std::string& text, char c) { return !text.empty() && text.back() == c; }

// One ";"-separated entry of key::kClassPath: type letter, flag, then the path or name.
struct ClassPathEntry {
    char type = 0;
    bool mandatory = false;
    std::string text;  // after expansion
};

ClassPathEntry parseEntry(Process& ctx, const LauncherVariables& vars, const std::string& raw) {
    ClassPathEntry entry;
    entry.type = raw[0];
    // A one- or two-character entry has no flag or no text; read them as absent.
    entry.mandatory = raw.size() > 1 && raw[1] == '1';
    entry.text = raw.size() > 2 ? raw.substr(2) : std::string();
    expandInPlace(ctx, vars, entry.text);
    return entry;
}

// E entry: true when the variable yielded text. Fatal 1008 for a mandatory undefined variable.
bool appendVariable(Process& ctx, const Config& config, std::string& classPath, const ClassPathEntry& entry) {
    auto value = ctx.os.env.get(entry.text);
    if (!value) {
        if (entry.mandatory) reportFatalKey(ctx, config, key::kMsgEnvVarMissing, entry.text);
        return false;
    }
    // An existing but empty variable yields nothing, like an undefined one.
    if (value->empty()) return false;
    if (value->size() >= 2 && value->front() == '"' && value->back() == '"') {
        *value = value->substr(1, value->size() - 2);
    }
    classPath += *value;
    if (!endsWith(*value, ';')) classPath += ';';
    return true;
}

bool appendEntry(Process& ctx, const Config& config, std::string& classPath, const ClassPathEntry& entry) {
    switch (entry.type) {
    case 'A':
    case 'D': {
        const std::string path = resolvePath(ctx, entry.text);
        // Added whether or not it exists; only a mandatory entry cares.
        classPath += path + ";";
        return fileExists(ctx, path);
    }
    case 'E': return appendVariable(ctx, config, classPath, entry);
    case 'S': {
        const std::string directory = resolvePath(ctx, entry.text);
        const bool jars = appendArchives(ctx, classPath, directory, "jar");
        const bool zips = appendArchives(ctx, classPath, directory, "zip");
        return jars || zips;
    }
    default: return false;  // unknown letters contribute nothing
    }
}

}  // namespace

std::vector<std::string> listMatchingFiles(Process& ctx, const std::string& directory, const std::string& extension) {
    std::string pattern = directory + "\\*";
    if (extension.empty() || extension[0] != '.') pattern += '.';
    pattern += extension;
    std::vector<std::string> names;
    for (const FindEntry& match : ctx.os.fs.find(pattern)) names.push_back(match.name);
    return names;
}

void appendExtractedArchives(Process& ctx, std::string& classPath, const LauncherVariables& vars) {
    for (const std::string_view extension : {".jar", ".zip"}) {
        std::vector<std::string> names;
        for (const std::string& name : vars.extractedFiles) {
            if (name.size() > extension.size() && endsWithIgnoringAsciiCase(name, extension)) names.push_back(name);
        }
        // The order a listing of the directory gives on Windows: by name, ignoring case.
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return upperAscii(a) < upperAscii(b); });
        for (const std::string& name : names) {
            classPath += resolvePath(ctx, vars.extractionDirectory + "\\" + name);
            classPath += ';';
        }
    }
}

bool appendArchives(Process& ctx, std::string& classPath, const std::string& directory, const std::string& extension) {
    if (directory.empty() || !fileExists(ctx, directory)) return false;
    for (const std::string& name : listMatchingFiles(ctx, directory, extension)) {
        classPath += resolvePath(ctx, directory + "\\" + name);
        classPath += ';';
    }
    return true;
}

void appendConfiguredClassPath(Process& ctx, const Config& config, const LauncherVariables& vars,
                               std::string& classPath) {
    const std::string list = getConfigString(config, key::kClassPath);
    for (const std::string& text : splitList(list, ';')) {
        const ClassPathEntry entry = parseEntry(ctx, vars, text);
        const bool found = appendEntry(ctx, config, classPath, entry);
        // Also covers the undecided cases: an empty E variable and an unknown
        // type letter yield nothing, so a mandatory one stops the launch.
        if (entry.mandatory && !found) reportFatalKey(ctx, config, key::kMsgClassPathMissing, entry.text);
    }
}

std::string buildClassPathOption(Process& ctx, const Config& config, const LauncherVariables& vars,
                                 const ClassPathSlots& slots) {
    std::string option = kClassPathOptionPrefix;
    if (slots.prepended) option += *slots.prepended + ";";

    appendExtractedArchives(ctx, option, vars);

    if (vars.flavour == 'm') {
        option += makeFullPath(ctx, getConfigString(config, key::kInstallDirectory), PathCase::Keep);
        if (!endsWith(option, '\\')) option += '\\';
        option += kRuntimeArchive;
        option += ';';
    }

    if (slots.replacement) {
        option += *slots.replacement;  // key::kClassPath is not read at all
    } else {
        appendConfiguredClassPath(ctx, config, vars, option);
    }

    if (slots.appended) {
        if (!endsWith(option, ';')) option += ';';
        option += *slots.appended;
    }
    return option;
}

}  // namespace kavrin
