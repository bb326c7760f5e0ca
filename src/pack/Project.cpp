#include "pack/Project.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "config/CarriedNames.h"
#include "config/Keys.h"
#include "jvm/Version.h"
#include "pack/FileIo.h"
#include "pack/JarVersion.h"
#include "pack/PackError.h"
#include "pack/Settings.h"
#include "pack/Text.h"
#include "pack/Toml.h"

namespace kavrin::pack {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kRawSections[] = {"raw", "raw-wide", "raw-hex", "raw-wide-hex"};

std::string typeName(const toml::node& node) {
    switch (node.type()) {
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::array: return "an array";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
    }
}

class ProjectReader {
public:
    ProjectReader(const fs::path& file, const ProjectOptions& options) : file_(file), options_(options) {
        project_.path = file;
    }

    Project read(std::string_view text) {
        toml::table root;
        try {
            root = toml::parse(text, std::string_view(displayPath(file_)));
        } catch (const toml::parse_error& error) {
            const auto& where = error.source().begin;
            failBadInput(displayPath(file_) + ":" + std::to_string(where.line) + ":" + std::to_string(where.column) +
                         ": " + std::string(error.description()));
        }
        checkSections(root);
        if (auto* project = root["project"].as_table()) readProjectSection(*project);
        applyDefaults();
        for (auto section : settingSections())
            if (auto* table = root.at_path(section).as_table()) readSettingSection(section, *table);
        addCommandLineClassPath();
        if (auto* files = root["files"].as_table()) readFilesSection(*files);
        addCommandLineIncludes();
        addRuntimeJar(root);
        writeFileKeys();
        for (auto section : kRawSections)
            if (auto* table = root[section].as_table()) readRawSection(section, *table);
        finish();
        return std::move(project_);
    }

private:
    [[noreturn]] void fail(uint32_t line, const std::string& message) const {
        failBadInput(displayPath(file_) + (line ? ":" + std::to_string(line) : "") + ": " + message);
    }
    void warn(uint32_t line, const std::string& message) {
        std::string where = line ? ":" + std::to_string(line) : "";
        project_.warnings.push_back(displayPath(file_) + where + ": warning: " + message);
    }

    void checkSections(const toml::table& root) const {
        for (auto&& [key, node] : root) {
            std::string name(key.str());
            // [msi] is the builder's own (see Msi.h): never written into the block.
            bool known = name == "project" || name == "files" || name == "msi" ||
                         std::find(std::begin(kRawSections), std::end(kRawSections), name) != std::end(kRawSections);
            auto sections = settingSections();
            known = known || std::find(sections.begin(), sections.end(), name) != sections.end();
            if (!node.is_table()) {
                fail(key.source().begin.line,
                     "unknown setting '" + name + "': settings belong in a section such as [service] or [java]");
            }
            if (!known) {
                std::vector<std::string_view> all{"project", "files", "msi"};
                all.insert(all.end(), sections.begin(), sections.end());
                all.insert(all.end(), std::begin(kRawSections), std::end(kRawSections));
                std::string list;
                for (auto section : all) list += (list.empty() ? "" : ", ") + std::string(section);
                if (auto near = nearestName(name, all))
                    fail(key.source().begin.line,
                         "unknown section [" + name + "]; did you mean `[" + std::string(*near) + "]`?");
                fail(key.source().begin.line, "unknown section [" + name + "] (sections: " + list + ")");
            }
        }
    }

    void readProjectSection(const toml::table& table) {
        for (auto&& [key, node] : table) {
            if (key.str() != "defaults")
                fail(key.source().begin.line, unknownSetting("project", key.str(), {"defaults"}));
            auto* flag = node.as_boolean();
            if (!flag)
                fail(key.source().begin.line,
                     "setting 'project.defaults': expected a boolean (true or false), got " + typeName(node));
            project_.defaults = flag->get();
        }
    }

    void applyDefaults() {
        if (!project_.defaults) return;
        for (const auto& setting : allSettings()) {
            if (!setting.defaultText) continue;
            if (setting.kind == SettingKind::WideText) wide_[setting.key] = utf8ToUtf16(*setting.defaultText);
            else narrow_[setting.key] = std::string(*setting.defaultText);
        }
    }

    // "unknown setting ..." with the nearest name of the section, or else the section's list.
    static std::string unknownSetting(std::string_view section, std::string_view name,
                                      const std::vector<std::string_view>& names) {
        std::string message = "unknown setting '" + std::string(section) + "." + std::string(name) + "'";
        if (auto near = nearestName(name, names)) return message + "; did you mean `" + std::string(*near) + "`?";
        for (const auto& setting : allSettings())
            if (setting.name == name)
                return message + "; did you mean `" + std::string(setting.section) + "." + std::string(name) + "`?";
        std::string list;
        for (auto known : names) list += (list.empty() ? "" : ", ") + std::string(known);
        return message + " (settings of [" + std::string(section) + "]: " + list + ")";
    }

    static std::vector<std::string_view> sectionSettings(std::string_view section) {
        std::vector<std::string_view> names;
        for (const auto& setting : allSettings())
            if (setting.section == section) names.push_back(setting.name);
        return names;
    }

    // The TOML value as the setting kind expects it, or an error at its line.
    SettingValue toValue(const Setting& setting, const std::string& label, const toml::node& node) const {
        auto wrongType = [&]() {
            return "setting '" + label + "': expected " + std::string(expectedType(setting.kind)) + ", got " +
                   typeName(node);
        };
        uint32_t line = node.source().begin.line;
        switch (setting.kind) {
        case SettingKind::Integer:
            if (auto* number = node.as_integer()) return number->get();
            fail(line, wrongType());
        case SettingKind::Boolean:
            if (auto* flag = node.as_boolean()) return flag->get();
            fail(line, wrongType());
        case SettingKind::ClassPath:
        case SettingKind::SearchSequence:
        case SettingKind::NameList:
        case SettingKind::DirectoryList: {
            auto* array = node.as_array();
            if (!array) fail(line, wrongType());
            std::vector<std::string> entries;
            for (auto&& element : *array) {
                auto* text = element.as_string();
                if (!text)
                    fail(element.source().begin.line, "setting '" + label +
                                                          "': expected an array of strings, got an element that is " +
                                                          typeName(element));
                entries.push_back(text->get());
            }
            return entries;
        }
        default:
            if (auto* text = node.as_string()) return text->get();
            fail(line, wrongType());
        }
    }

    void readSettingSection(std::string_view section, const toml::table& table) {
        for (auto&& [key, node] : table) {
            std::string label = std::string(section) + "." + std::string(key.str());
            auto sections = settingSections();
            if (node.is_table() && std::find(sections.begin(), sections.end(), label) != sections.end())
                continue;  // a dotted section such as [service.recovery], read on its own
            const Setting* setting = findSetting(section, key.str());
            if (!setting) fail(key.source().begin.line, unknownSetting(section, key.str(), sectionSettings(section)));
            SettingValue value = toValue(*setting, label, node);
            if (setting->key == key::kMainClass) mainClassNamed_ = true;
            if (setting->key == key::kClassPath) classPathNamed_ = true;
            std::string text;
            try {
                text = settingToBlockText(*setting, value);
            } catch (const SettingProblem& problem) {
                uint32_t line = node.source().begin.line;
                if (problem.element && node.is_array()) line = (*node.as_array())[*problem.element].source().begin.line;
                fail(line, "setting '" + label + "': " + problem.what());
            }
            uint32_t line = key.source().begin.line;
            (setting->kind == SettingKind::WideText ? namedWide_ : namedNarrow_)[setting->key] = {label, line};
            warnAboutClimbing(*setting, label, node);
            if (setting->kind == SettingKind::WideText) {
                storeWide(setting->key, utf8ToUtf16(text), line, "setting '" + label + "'");
            } else {
                if (setting->key == key::kJvmSubdirectory && text.size() > 199)
                    fail(line, "setting '" + label + "': longer than the 199 bytes the launcher reads");
                storeNarrow(setting->key, std::move(text), line, "setting '" + label + "'");
            }
        }
    }

    void storeNarrow(int32_t keyNumber, std::string text, uint32_t line, const std::string& label) {
        if (text.size() > kMaxNarrowValueBytes)
            fail(line, label + ": " + std::to_string(text.size()) + " bytes is longer than the " +
                           std::to_string(kMaxNarrowValueBytes) + " the launcher reads");
        if (text.find('\0') != std::string::npos) fail(line, label + ": contains a NUL character");
        if (!isAscii(text))
            warn(line, label +
                           ": non-ASCII text is written as UTF-8 bytes, but the launcher reads it in the "
                           "machine's ANSI code page; use [raw-hex] for exact bytes");
        narrow_[keyNumber] = std::move(text);
    }

    void storeWide(int32_t keyNumber, std::u16string text, uint32_t line, const std::string& label) {
        if (text.size() > kMaxWideValueUnits)
            fail(line, label + ": " + std::to_string(text.size()) + " UTF-16 units is longer than the " +
                           std::to_string(kMaxWideValueUnits) + " the launcher reads");
        wide_[keyNumber] = std::move(text);
    }

    void readFilesSection(const toml::table& table) {
        for (auto&& [key, node] : table) {
            std::string name(key.str());
            uint32_t line = key.source().begin.line;
            if (name == "include") {
                auto* array = node.as_array();
                if (!array) fail(line, "setting 'files.include': expected an array of strings, got " + typeName(node));
                for (auto&& element : *array) {
                    auto* text = element.as_string();
                    if (!text)
                        fail(element.source().begin.line,
                             "setting 'files.include': expected an array of strings, got an element that is " +
                                 typeName(element));
                    addIncluded(text->get(), element.source().begin.line);
                }
            } else if (name == "runtime") {
                auto* flag = node.as_boolean();
                if (!flag)
                    fail(line, "setting 'files.runtime': expected a boolean (true or false), got " + typeName(node));
                runtime_ = flag->get();
                runtimeLine_ = line;
            } else if (name == "runtime-jar") {
                auto* text = node.as_string();
                if (!text) fail(line, "setting 'files.runtime-jar': expected a string, got " + typeName(node));
                runtimeJar_ = relativeToProject(text->get());
                runtimeJarLine_ = line;
            } else {
                fail(line, unknownSetting("files", name, {"include", "runtime", "runtime-jar"}));
            }
        }
    }

    fs::path relativeToProject(const std::string& text) const {
        fs::path path(text);
        if (path.is_absolute()) return path;
        return file_.parent_path() / path;
    }

    void addIncluded(const std::string& text, uint32_t line) {
        std::string name = text.substr(text.find_last_of('/') == std::string::npos ? 0 : text.find_last_of('/') + 1);
        if (auto problem = unsafeNameProblem(name))
            fail(line, "setting 'files.include': '" + text + "' cannot be carried: " + *problem);
        fs::path source = relativeToProject(text);
        std::error_code ec;
        if (!fs::is_regular_file(source, ec))
            fail(line, "setting 'files.include': included file '" + text + "' does not exist (looked for " +
                           displayPath(source) + ")");
        addFile(source, name, line, "setting 'files.include'");
    }

    void addCommandLineClassPath() {
        if (options_.classPath.empty()) return;
        std::string text = classPathNamed_ ? narrow_[key::kClassPath] : "";
        for (const auto& entry : options_.classPath) {
            if (auto problem = classPathEntryProblem(entry)) failBadInput("--class-path: " + *problem);
            text += entry + ";";
        }
        storeNarrow(key::kClassPath, std::move(text), 0, "setting 'java.class-path' with --class-path");
    }

    void addCommandLineIncludes() {
        for (const auto& source : options_.includes) {
            std::string name = source.filename().string();
            std::string label = "--include '" + displayPath(source) + "'";
            if (auto problem = unsafeNameProblem(name)) failBadInput(label + ": cannot be carried: " + *problem);
            std::error_code ec;
            if (!fs::is_regular_file(source, ec)) failBadInput(label + ": no such file");
            for (const auto& file : project_.files)
                if (file.name == name) failBadInput(label + ": two included files would be stored as '" + name + "'");
            project_.files.push_back({source, name});
        }
    }

    void addFile(const fs::path& source, const std::string& name, uint32_t line, const std::string& label) {
        for (const auto& file : project_.files)
            if (file.name == name) fail(line, label + ": two included files would be stored as '" + name + "'");
        project_.files.push_back({source, name});
    }

    void addRuntimeJar(const toml::table& root) {
        // An application project (one that names its main class and keeps the
        // defaults) needs the start classes; a project of raw keys gets exactly its files.
        bool carry = runtime_.value_or(project_.defaults && mainClassNamed_);
        if (!carry) return;
        fs::path jar;
        if (options_.runtimeJar) jar = *options_.runtimeJar;
        else if (runtimeJar_) jar = *runtimeJar_;
        else jar = options_.builderDirectory / std::string(kRuntimeJarName);
        uint32_t line = runtimeJarLine_        ? runtimeJarLine_
                        : root["files"].node() ? root["files"].node()->source().begin.line
                                               : 1;
        std::error_code ec;
        if (!fs::is_regular_file(jar, ec))
            fail(line, "setting 'files.runtime': the start classes " + displayPath(jar) +
                           " do not exist; build them, name them with files.runtime-jar or --runtime-jar, or set "
                           "files.runtime = false");
        addFile(jar, std::string(kRuntimeJarName), line, "setting 'files.runtime'");
        carriedRuntime_ = jar;
        if (!runtimeLine_) runtimeLine_ = line;
    }

    // A relative path that leaves the executable's directory reaches places other
    // users may be able to write, such as C:\jre for C:\Svc\svc.exe.
    void warnAboutClimbing(const Setting& setting, const std::string& label, const toml::node& node) {
        bool classPath = setting.kind == SettingKind::ClassPath;
        if (!classPath && setting.kind != SettingKind::SearchSequence) return;
        auto* array = node.as_array();
        for (size_t i = 0; array && i < array->size(); ++i) {
            auto* text = (*array)[i].as_string();
            if (!text) continue;
            std::string_view entry = text->get();
            bool directory = classPath
                                 ? entry.size() >= 2 && entry[0] != 'E'
                                 : !entry.empty() && std::string_view("ABR").find(entry[0]) != std::string_view::npos;
            if (directory && climbsAboveExecutable(entry.substr(classPath ? 2 : 1)))
                warn((*array)[i].source().begin.line,
                     "setting '" + label + "': '" + std::string(entry) +
                         "' climbs above the executable's directory, where other users may be able to put files; "
                         "keep it beside the executable");
        }
    }

    // The start classes need a main class to call, and a Java new enough for them.
    void checkStartClasses() {
        if (!carriedRuntime_) return;
        auto mainClass = narrow_.find(key::kMainClass);
        if (mainClass == narrow_.end() || mainClass->second.empty())
            fail(runtimeLine_,
                 "setting 'java.main-class' is missing: the start classes are carried (files.runtime) "
                 "and need the class to start; name it, or set files.runtime = false");
        auto need = requiredJavaVersion(readWholeFile(*carriedRuntime_, "start classes"));
        std::string minimum = narrow_.count(key::kMinVersion) ? narrow_[key::kMinVersion] : "";
        if (!need || compareJavaVersions(rules(), minimum, need->version) >= 0) return;
        auto [label, line] = keyOrigin(key::kMinVersion, "setting 'jvm.min-version'");
        warn(line, label + ": '" + minimum + "' admits Java runtimes older than " + need->version +
                       ", but the start classes (" + std::string(kRuntimeJarName) + ") need " + need->version +
                       " (class-file version " + std::to_string(need->classFileVersion) + "); set min-version = '" +
                       need->version + "'");
    }

    VersionRules rules() const {
        auto it = narrow_.find(key::kJvmRules);
        return it != narrow_.end() && it->second == "modern" ? VersionRules::Modern : VersionRules::Classic;
    }

    // Bounds that do not mean what they seem: classic compares versions as text, so
    // min-version "17" admits 9; and a maximum below the minimum admits nothing.
    void checkVersionBounds() {
        auto text = [&](int32_t number) { return narrow_.count(number) ? narrow_.at(number) : std::string(); };
        const std::string minimum = text(key::kMinVersion), maximum = text(key::kMaxVersion);
        auto [minLabel, minLine] = keyOrigin(key::kMinVersion, "setting 'jvm.min-version'");
        auto [maxLabel, maxLine] = keyOrigin(key::kMaxVersion, "setting 'jvm.max-version'");
        const bool minReads = minimum.empty() || parseNumericVersion(minimum);
        const bool maxReads = maximum.empty() || parseNumericVersion(maximum);
        if (rules() == VersionRules::Modern) {
            if (!minReads) fail(minLine, minLabel + ": '" + minimum + "' is not a Java version such as 1.8 or 17.0.2");
            if (!maxReads) fail(maxLine, maxLabel + ": '" + maximum + "' is not a Java version such as 1.8 or 17.0.2");
        }
        if (!minimum.empty() && !maximum.empty() && minReads && maxReads &&
            judgeVersionBounds(VersionRules::Modern, minimum, minimum, maximum) == VersionVerdict::AboveMaximum)
            warn(maxLine, maxLabel + ": '" + maximum + "' is below min-version '" + minimum +
                              "' read as numbers: no Java runtime fits both");
        if (rules() == VersionRules::Modern || !minReads || !maxReads) return;
        // Real versions on which the text reading and the numeric one disagree.
        for (const char* version :
             {"1.6.0_45", "1.7.0_80", "1.8.0_392", "9.0.4", "10.0.2", "11.0.21", "17.0.9", "21.0.1", "25"}) {
            bool asText =
                judgeVersionBounds(VersionRules::Classic, version, minimum, maximum) == VersionVerdict::Allowed;
            bool asNumber =
                judgeVersionBounds(VersionRules::Modern, version, minimum, maximum) == VersionVerdict::Allowed;
            if (asText == asNumber) continue;
            warn(minLine ? minLine : maxLine, "rules = \"classic\" compares versions as text: min-version '" + minimum +
                                                  "', max-version '" + maximum + "' " +
                                                  (asText ? "admit " : "refuse ") + version +
                                                  "; rules = \"modern\" compares them as numbers");
            return;
        }
    }

    std::pair<std::string, uint32_t> keyOrigin(int32_t keyNumber, const std::string& fallback) const {
        if (auto raw = rawNarrow_.find(keyNumber); raw != rawNarrow_.end()) return raw->second;
        if (auto named = namedNarrow_.find(keyNumber); named != namedNarrow_.end())
            return {"setting '" + named->second.first + "'", named->second.second};
        return {fallback, 0};
    }

    // The count and the names always agree with the stream that follows the block.
    void writeFileKeys() {
        if (project_.files.empty() && !project_.defaults) return;
        std::string names;
        for (const auto& file : project_.files) names += (names.empty() ? "" : ";") + file.name;
        if (names.size() > kMaxNarrowValueBytes)
            failBadInput(displayPath(file_) + ": the names of the included files together exceed " +
                         std::to_string(kMaxNarrowValueBytes) + " bytes");
        narrow_[key::kIncludedCount] = std::to_string(project_.files.size());
        narrow_[key::kIncludedNames] = names;
    }

    void readRawSection(std::string_view section, const toml::table& table) {
        bool wide = section.find("wide") != std::string_view::npos;
        bool hex = section.find("hex") != std::string_view::npos;
        auto& seen = wide ? rawWideKeys_ : rawNarrowKeys_;
        for (auto&& [key, node] : table) {
            uint32_t line = key.source().begin.line;
            std::string label = "[" + std::string(section) + "] key \"" + std::string(key.str()) + "\"";
            int32_t number = 0;
            auto keyText = key.str();
            auto [end, ec] = std::from_chars(keyText.data(), keyText.data() + keyText.size(), number);
            if (ec != std::errc() || end != keyText.data() + keyText.size() || keyText.empty())
                fail(line, label + ": not a key number (a signed 32-bit decimal integer)");
            if (!seen.insert(number).second)
                fail(line, label + ": key " + std::to_string(number) + " is set twice in the raw tables");
            const auto& named = wide ? namedWide_ : namedNarrow_;
            if (auto it = named.find(number); it != named.end())
                fail(line, label + ": key " + std::to_string(number) + " is set by setting '" + it->second.first +
                               "' (line " + std::to_string(it->second.second) + ") too; keep one of the two");
            if (!wide) rawNarrow_[number] = {label, line};
            std::string text;
            if (auto* string = node.as_string()) {
                text = string->get();
            } else if (auto* integer = node.as_integer(); integer && !wide && !hex) {
                text = std::to_string(integer->get());
            } else {
                fail(line, label + ": expected " + std::string(wide || hex ? "a string" : "a string or an integer") +
                               ", got " + typeName(node));
            }
            if (hex) {
                auto bytes = fromHex(text);
                if (!bytes || (wide && bytes->size() % 2 != 0))
                    fail(line, label + ": expected hexadecimal bytes" +
                                   std::string(wide ? " (UTF-16LE, an even number)" : ""));
                text = std::move(*bytes);
            }
            if (wide) {
                storeWide(number, hex ? fromUtf16leBytes(text) : utf8ToUtf16(text), line, label);
            } else if (hex) {
                if (text.size() > kMaxNarrowValueBytes)
                    fail(line, label + ": " + std::to_string(text.size()) + " bytes is longer than the " +
                                   std::to_string(kMaxNarrowValueBytes) + " the launcher reads");
                narrow_[number] = std::move(text);  // exact bytes, whatever they are
            } else {
                storeNarrow(number, std::move(text), line, label);
            }
        }
    }

    void finish() {
        checkStartClasses();
        checkVersionBounds();
        bool named = narrow_.count(key::kServiceName) && !narrow_[key::kServiceName].empty();
        if (project_.defaults && !named)
            warn(0, "no service name (service.name): the service verbs need a name after the verb");
        for (auto& [keyNumber, text] : narrow_) project_.block.narrow.emplace_back(keyNumber, std::move(text));
        for (auto& [keyNumber, text] : wide_) project_.block.wide.emplace_back(keyNumber, std::move(text));
    }

    fs::path file_;
    const ProjectOptions& options_;
    Project project_;
    std::map<int32_t, std::string> narrow_;
    std::map<int32_t, std::u16string> wide_;
    std::set<int32_t> rawNarrowKeys_, rawWideKeys_;
    std::optional<bool> runtime_;
    uint32_t runtimeLine_ = 0;
    std::optional<fs::path> carriedRuntime_;
    // Where each key was set: the named setting's label or the raw entry's, and its line.
    std::map<int32_t, std::pair<std::string, uint32_t>> namedNarrow_, namedWide_, rawNarrow_;
    bool mainClassNamed_ = false;
    bool classPathNamed_ = false;
    std::optional<fs::path> runtimeJar_;
    uint32_t runtimeJarLine_ = 0;
};

}  // namespace

std::optional<std::string> unsafeNameProblem(std::string_view name) { return carriedNameProblem(name); }

Project parseProject(std::string_view text, const fs::path& file, const ProjectOptions& options) {
    return ProjectReader(file, options).read(text);
}

Project loadProject(const fs::path& file, const ProjectOptions& options) {
    return parseProject(readWholeFile(file, "project file"), file, options);
}

}  // namespace kavrin::pack
