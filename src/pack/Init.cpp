#include "pack/Init.h"

#include <variant>

#include "config/Keys.h"
#include "pack/Msi.h"
#include "pack/PackError.h"
#include "pack/Settings.h"
#include "pack/Text.h"

namespace kavrin::pack {
namespace {

std::string spelled(const Setting& setting, std::string_view text) {
    auto value = blockTextToSetting(setting, text);
    if (!value) return "''";
    if (auto* string = std::get_if<std::string>(&*value)) return tomlString(*string).value_or("''");
    if (auto* number = std::get_if<int64_t>(&*value)) return std::to_string(*number);
    if (auto* flag = std::get_if<bool>(&*value)) return *flag ? "true" : "false";
    std::string out = "[";
    const auto& list = std::get<std::vector<std::string>>(*value);
    for (size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + tomlString(list[i]).value_or("''");
    return out + "]";
}

}  // namespace

std::string starterProject(const std::string& serviceName, const std::string& mainClass, bool all) {
    if (serviceName.empty() || !isAscii(serviceName))
        failBadInput("service name '" + serviceName + "': use ASCII letters, digits and the like, no slashes");
    if (auto problem = serviceNameProblem(serviceName)) failBadInput(*problem);
    if (auto problem = mainClassProblem(mainClass)) failBadInput(*problem);

    std::string out = "# Kavrin project file: kavrin-pack build THIS.toml -o " + serviceName + ".exe\n";
    out += all ? "# Every setting is listed; the commented ones show their default. See docs/project-file.md.\n"
               : "# The settings a service needs; the commented ones show their default. docs/project-file.md\n"
                 "# describes them and the rest (`kavrin-pack init --all` lists every setting).\n";
    out +=
        "\n[project]\n"
        "# true: settings not given here get the defaults shown; false: the block holds only what is set\n"
        "defaults = true\n";
    std::string_view section;
    for (const auto& setting : allSettings()) {
        if (!all && !setting.scaffold) continue;
        if (setting.section != section) {
            section = setting.section;
            out += "\n[" + std::string(section) + "]\n";
        }
        out += "# " + std::string(setting.summary) + " (key " + std::to_string(setting.key) + ")\n";
        if (setting.key == key::kServiceName) {
            out += "name = " + tomlString(serviceName).value_or("''") + "\n";
        } else if (setting.key == key::kMainClass) {
            out += "main-class = " + tomlString(mainClass).value_or("''") + "\n";
        } else if (setting.key == key::kJvmRules) {
            out += "rules = \"modern\"\n";
        } else {
            out += "#" + std::string(setting.name) + " = " + spelled(setting, setting.defaultText.value_or("")) + "\n";
        }
    }
    out +=
        "\n[files]\n"
        "# files carried inside the executable, extracted to a temporary directory at start;\n"
        "# jar and zip files among them join the class path. Paths are relative to this file.\n"
        "#include = ['app.jar']\n"
        "# carry the start classes (kavrin-runtime.jar) so they are always on the class path\n"
        "#runtime = true\n"
        "#runtime-jar = 'path/to/kavrin-runtime.jar'\n";
    return out + starterMsiSection(serviceName);
}

}  // namespace kavrin::pack
