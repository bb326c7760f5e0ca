// The named settings of a project file: which section and name stand for which
// configuration key, how the value is written into the block, and the value a
// project with `defaults = true` gets when it does not set it.
//
// Usage:
//   const Setting* s = findSetting("jvm", "min-version");
//   std::string text = settingToBlockText(*s, SettingValue{std::string("1.8")});
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kavrin::pack {

enum class SettingKind {
    Text,            // a string, written as it stands
    WideText,        // a string, written into the wide (UTF-16) table
    Integer,         // a TOML integer, written in decimal
    Boolean,         // true/false, written as "1"/"0"
    ClassPath,       // array of "<A|D|E|S><0|1><path>", each written with a ";" after it
    SearchSequence,  // array of "<A|B|R|E|S|Y><argument>", each written with a ";" after it
    NameList,        // array of names joined by ","
    DirectoryList,   // array of directories joined by ";"
    Flavour,         // "k", "m" or ""
};

// What is wrong with a setting's block text beyond its kind, or none.
using SettingCheck = std::optional<std::string> (*)(std::string_view text);

inline constexpr bool kInScaffold = true;
inline constexpr bool kNotInScaffold = false;

struct Setting {
    std::string_view section;
    std::string_view name;
    int32_t key;
    SettingKind kind;
    // Block text written when the project keeps the defaults; none: not written.
    std::optional<std::string_view> defaultText;
    std::string_view summary;  // one line, used by `init`
    // kInScaffold: a service project needs it, so the short `init` lists it.
    bool scaffold = false;
    SettingCheck check = nullptr;
};

std::span<const Setting> allSettings();
const Setting* findSetting(std::string_view section, std::string_view name);
const Setting* findSettingByKey(int32_t key, bool wide);
// The sections in the order `inspect` and `init` print them.
std::span<const std::string_view> settingSections();

// A value as the project file gives it, after its TOML type was checked.
using SettingValue = std::variant<std::string, int64_t, bool, std::vector<std::string>>;

// What is wrong with a value; `element` is the index of the offending array
// element, when there is one, so the caller can point at its line.
struct SettingProblem : std::runtime_error {
    SettingProblem(const std::string& message, std::optional<size_t> index = std::nullopt)
        : std::runtime_error(message), element(index) {}
    std::optional<size_t> element;
};

// The TOML type a setting expects, for error messages ("a string", "an array of strings"...).
std::string_view expectedType(SettingKind kind);

// Checks the value and turns it into the block's text (UTF-8 for WideText; the
// caller converts). Throws SettingProblem.
std::string settingToBlockText(const Setting& setting, const SettingValue& value);

// The project-file value that writes exactly `text` back, or none when no value
// of this setting does (the caller then falls back to a raw entry).
std::optional<SettingValue> blockTextToSetting(const Setting& setting, std::string_view text);

// Single checks, also used by the tests.
std::optional<std::string> classPathEntryProblem(std::string_view entry);
std::optional<std::string> rulesProblem(std::string_view text);
std::optional<std::string> searchEntryProblem(std::string_view entry);
std::optional<std::string> serviceNameProblem(std::string_view name);
std::optional<std::string> mainClassProblem(std::string_view name);
std::optional<std::string> launcherTypeProblem(std::string_view text);
std::optional<std::string> accountProblem(std::string_view text);
std::optional<std::string> recoveryActionsProblem(std::string_view text);
std::optional<std::string> nonNegativeProblem(std::string_view text);
std::optional<std::string> maxSizeProblem(std::string_view text);
std::optional<std::string> keepProblem(std::string_view text);
// A quote without its closing partner, by the launcher's own splitting rule.
std::optional<std::string> quoteProblem(std::string_view text);

// Whether a class path or search entry's path climbs above the executable's
// directory ("..\lib", "%KAVRIN_EXEDIR%..\jre"); absolute paths and other
// variables do not count.
bool climbsAboveExecutable(std::string_view path);

// The known name nearest to `word` when it is close enough to be a slip of the pen.
std::optional<std::string_view> nearestName(std::string_view word, std::span<const std::string_view> names);

}  // namespace kavrin::pack
