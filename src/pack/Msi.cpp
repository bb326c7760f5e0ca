#include "pack/Msi.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "config/Keys.h"
#include "config/Lists.h"
#include "config/ServiceSettings.h"
#include "pack/FileIo.h"
#include "pack/PackError.h"
#include "pack/Project.h"
#include "pack/Text.h"
#include "pack/Toml.h"
#include "platform/Ascii.h"

namespace kavrin::pack {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kSettingsList = "product-name, manufacturer, version, upgrade-code, files, directories";

// The block's value of a key, empty when absent.
template <typename Text>
Text valueOf(const std::vector<std::pair<int32_t, Text>>& entries, int32_t keyNumber) {
    for (const auto& [number, text] : entries)
        if (number == keyNumber) return text;
    return {};
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p, ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

class MsiReader {
public:
    MsiReader(const fs::path& file, const ServiceRegistration& service) : file_(file), service_(service) {}

    MsiSettings read(std::string_view text) {
        toml::table root;
        try {
            root = toml::parse(text, std::string_view(displayPath(file_)));
        } catch (const toml::parse_error& error) {
            fail(error.source().begin.line, std::string(error.description()));
        }
        const toml::table* msi = root["msi"].as_table();
        if (!msi)
            fail(1,
                 "no [msi] table: an installer package needs msi.manufacturer, msi.version and msi.upgrade-code "
                 "(kavrin-pack init writes a starter table)");
        tableLine_ = msi->source().begin.line;
        if (service_.name.empty())
            fail(lineOf(root, "service", "name"),
                 "setting 'service.name': the package registers the service under "
                 "this name; it must not be empty");
        if (service_.accountNeedsPassword)
            fail(lineOf(root, "service", "account"), "setting 'service.account': '" + service_.account +
                                                         "' needs a password, which a package cannot "
                                                         "carry; use LocalService, NetworkService, virtual or a "
                                                         "managed account (DOMAIN\\name$), or -install");
        for (auto&& [key, node] : *msi) readSetting(std::string(key.str()), key.source().begin.line, node);
        const std::pair<const char*, const std::string*> required[] = {{"manufacturer", &settings_.manufacturer},
                                                                       {"version", &settings_.version},
                                                                       {"upgrade-code", &settings_.upgradeCode}};
        for (const auto& [name, value] : required)
            if (value->empty()) fail(tableLine_, "setting 'msi." + std::string(name) + "' is missing");
        if (settings_.productName.empty()) settings_.productName = service_.name;
        settings_.executableName = fs::path(file_).filename().replace_extension(".exe").string();
        checkNames();
        return std::move(settings_);
    }

private:
    [[noreturn]] void fail(uint32_t line, const std::string& message) const {
        failBadInput(displayPath(file_) + ":" + std::to_string(line) + ": " + message);
    }

    static uint32_t lineOf(const toml::table& root, const char* section, const char* key) {
        if (auto* node = root[section][key].node()) return node->source().begin.line;
        if (auto* table = root[section].node()) return table->source().begin.line;
        return 1;
    }

    std::string text(const std::string& label, uint32_t line, const toml::node& node) const {
        auto* string = node.as_string();
        if (!string) fail(line, "setting '" + label + "': expected a string");
        std::string value = string->get();
        if (value.empty()) fail(line, "setting '" + label + "': must not be empty");
        if (auto problem = wixTextProblem(value)) fail(line, "setting '" + label + "': " + *problem);
        return value;
    }

    static std::optional<std::string> wixTextProblem(std::string_view value) {
        for (char c : value)
            if (static_cast<unsigned char>(c) < 0x20) return std::string("holds a control character");
        // Both wixl and the WiX toolset read "$(" as the start of a preprocessor variable.
        if (value.find("$(") != std::string_view::npos)
            return std::string("holds \"$(\", which WiX reads as a variable");
        return std::nullopt;
    }

    std::vector<std::pair<std::string, uint32_t>> strings(const std::string& label, uint32_t line,
                                                          const toml::node& node) const {
        auto* array = node.as_array();
        if (!array) fail(line, "setting '" + label + "': expected an array of strings");
        std::vector<std::pair<std::string, uint32_t>> out;
        for (auto&& element : *array) {
            uint32_t at = element.source().begin.line;
            out.emplace_back(text(label, at, element), at);
        }
        return out;
    }

    void readSetting(const std::string& name, uint32_t line, const toml::node& node) {
        std::string label = "msi." + name;
        if (name == "product-name") {
            settings_.productName = text(label, line, node);
        } else if (name == "manufacturer") {
            settings_.manufacturer = text(label, line, node);
        } else if (name == "version") {
            settings_.version = text(label, line, node);
            if (auto problem = msiVersionProblem(settings_.version)) fail(line, "setting '" + label + "': " + *problem);
        } else if (name == "upgrade-code") {
            std::string code = text(label, line, node);
            if (auto problem = upgradeCodeProblem(code)) fail(line, "setting '" + label + "': " + *problem);
            if (code.front() == '{') code = code.substr(1, code.size() - 2);
            settings_.upgradeCode = upperAscii(code);
        } else if (name == "files") {
            for (const auto& [pattern, at] : strings(label, line, node)) addMatches(label, pattern, at);
        } else if (name == "directories") {
            for (const auto& [directory, at] : strings(label, line, node)) addDirectory(label, directory, at);
        } else {
            fail(line, "unknown setting '" + label + "' (settings of [msi]: " + std::string(kSettingsList) + ")");
        }
    }

    // A relative path that stays below the project's directory: its layout is the
    // layout under the installation directory.
    std::string checkedRelative(const std::string& label, const std::string& text, uint32_t line) const {
        fs::path path(text);
        if (path.is_absolute() || path.has_root_name() || text.find('\\') != std::string::npos)
            fail(line, "setting '" + label + "': '" + text +
                           "' must be relative to the project file, with '/' between parts");
        std::string normal = path.lexically_normal().generic_string();
        if (!normal.empty() && normal.back() == '/') normal.pop_back();
        if (normal.empty() || normal == "." || normal == ".." || normal.rfind("../", 0) == 0)
            fail(line,
                 "setting '" + label + "': '" + text + "' must name something below the project file's directory");
        return normal;
    }

    void addMatches(const std::string& label, const std::string& pattern, uint32_t line) {
        std::string relative = checkedRelative(label, pattern, line);
        size_t slash = relative.find_last_of('/');
        std::string directory = slash == std::string::npos ? "" : relative.substr(0, slash);
        std::string namePattern = relative.substr(slash == std::string::npos ? 0 : slash + 1);
        if (directory.find_first_of("*?") != std::string::npos)
            fail(line, "setting '" + label + "': '" + pattern + "': wildcards are allowed in the file name only");
        fs::path where = file_.parent_path() / directory;
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file() && wildcardMatch(namePattern, it->path().filename().string()))
                names.push_back(it->path().filename().string());
        if (names.empty())
            fail(line,
                 "setting '" + label + "': '" + pattern + "' matches no file (looked in " + displayPath(where) + ")");
        std::sort(names.begin(), names.end());
        for (const auto& name : names)
            addFile(label, where / name, directory.empty() ? name : directory + "/" + name, line);
    }

    void addDirectory(const std::string& label, const std::string& text, uint32_t line) {
        std::string relative = checkedRelative(label, text, line);
        fs::path root = file_.parent_path() / relative;
        std::error_code ec;
        if (!fs::is_directory(root, ec))
            fail(line, "setting '" + label + "': directory '" + text + "' does not exist (looked for " +
                           displayPath(root) + ")");
        std::vector<fs::path> found;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file()) found.push_back(it->path());
        if (ec) failIo(displayPath(root) + ": cannot list the directory: " + ec.message());
        if (found.empty()) fail(line, "setting '" + label + "': directory '" + text + "' holds no file");
        std::sort(found.begin(), found.end());
        for (const auto& path : found)
            addFile(label, path, relative + "/" + path.lexically_relative(root).generic_string(), line);
    }

    void addFile(const std::string& label, const fs::path& source, const std::string& installName, uint32_t line) {
        for (const auto& part : splitList(installName, '/')) {
            if (auto problem = unsafeNameProblem(part))
                fail(line, "setting '" + label + "': '" + installName + "' cannot be installed: " + *problem);
            if (auto problem = wixTextProblem(part))
                fail(line, "setting '" + label + "': '" + installName + "' " + *problem);
        }
        if (!installed_.insert(installName).second)
            fail(line, "setting '" + label + "': '" + installName + "' would be installed twice");
        settings_.files.push_back({source, installName});
    }

    void checkNames() {
        for (auto [name, value] :
             {std::pair{"manufacturer", &settings_.manufacturer}, std::pair{"product-name", &settings_.productName}})
            if (auto problem = unsafeNameProblem(*value))
                fail(tableLine_, "setting 'msi." + std::string(name) + "': '" + *value +
                                     "' names the folder under Program Files, but " + *problem);
        if (installed_.count(settings_.executableName))
            fail(tableLine_,
                 "the executable '" + settings_.executableName + "' is installed already; leave it out of msi.files");
    }

    fs::path file_;
    const ServiceRegistration& service_;
    MsiSettings settings_;
    std::set<std::string> installed_;
    uint32_t tableLine_ = 1;
};

// ---- WiX source

std::string xmlAttribute(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '$': out += "$$"; break;  // the preprocessor's escape
        default: out += c;
        }
    }
    return out;
}

// Text for a Formatted column, where "[name]" would be replaced by a property.
std::string formatted(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '[') out += "[\\[]";
        else if (c == ']') out += "[\\]]";
        else out += c;
    }
    return out;
}

std::string attr(const char* name, std::string_view value) {
    return std::string(" ") + name + "=\"" + xmlAttribute(value) + "\"";
}

std::string startName(uint32_t startType) {
    switch (startType) {
    case 2: return "auto";
    case 4: return "disabled";
    default: return "demand";
    }
}

struct DirectoryNode {
    std::string id;
    std::map<std::string, DirectoryNode> children;
    std::vector<std::pair<std::string, const MsiFile*>> files;  // component id, file
    bool removeWhenEmpty = false;                               // made by the service, not the package
};

class WixWriter {
public:
    WixWriter(const MsiSettings& msi, const ServiceRegistration& service, const fs::path& executable,
              const fs::path& sourceDirectory)
        : msi_(msi), service_(service), executable_(executable), base_(fs::absolute(sourceDirectory)) {
        root_.id = "INSTALLDIR";
        for (const auto& file : msi.files) place(file);
        if (!service.logDirectory.empty()) {
            auto parts = splitList(service.logDirectory, '/');
            parts.emplace_back();  // nodeFor takes the directory of a file path
            nodeFor(parts).removeWhenEmpty = true;
        }
    }

    std::string write() {
        line(0, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
        line(0, "<!-- Written by kavrin-pack msi. -->");
        line(0, "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">");
        line(1, "<Product Id=\"*\"" + attr("Name", msi_.productName) + " Language=\"1033\"" +
                    attr("Version", msi_.version) + attr("Manufacturer", msi_.manufacturer) +
                    attr("UpgradeCode", msi_.upgradeCode) + ">");
        line(2, "<Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"perMachine\"" +
                    attr("Description", msi_.productName + " " + msi_.version) +
                    attr("Manufacturer", msi_.manufacturer) + "/>");
        line(2, "<Media Id=\"1\" Cabinet=\"product.cab\" EmbedCab=\"yes\"/>");
        writeUpgrade();
        line(2, "<Directory Id=\"TARGETDIR\" Name=\"SourceDir\">");
        line(3, "<Directory Id=\"ProgramFiles64Folder\">");
        line(4, "<Directory Id=\"VendorDir\"" + attr("Name", msi_.manufacturer) + ">");
        // No file of the package lives in the manufacturer's folder: without this the
        // installer would leave it behind, empty. (Another product's files keep it.)
        components_.push_back("VendorDir");
        line(5, "<Component Id=\"VendorDir\"" + attr("Guid", derivedGuid("VendorDir")) + " Win64=\"yes\">");
        line(6, "<RemoveFolder Id=\"VendorDir\" On=\"uninstall\"/>");
        line(5, "</Component>");
        line(5, "<Directory Id=\"INSTALLDIR\"" + attr("Name", msi_.productName) + ">");
        writeService(6);
        writeContents(root_, 6);
        line(5, "</Directory>");
        line(4, "</Directory>");
        line(3, "</Directory>");
        line(2, "</Directory>");
        // The service table registers the path as the installer writes it, which may be
        // unquoted; the executable then registers itself quoted, in place, before the
        // service starts (it also applies what -install sets beyond the table).
        line(2,
             "<CustomAction Id=\"KavrinConfigureService\" FileKey=\"ServiceExe\" ExeCommand=\"-configure\" "
             "Execute=\"deferred\" Impersonate=\"no\" Return=\"check\"/>");
        line(2, "<InstallExecuteSequence>");
        line(3, "<RemoveExistingProducts Sequence=\"1401\"/>");  // right after InstallValidate
        line(3, "<Custom Action=\"KavrinConfigureService\" Sequence=\"5850\">NOT REMOVE</Custom>");
        line(2, "</InstallExecuteSequence>");
        line(2, "<Feature Id=\"Main\" Level=\"1\">");
        for (const auto& id : components_) line(3, "<ComponentRef Id=\"" + id + "\"/>");
        line(2, "</Feature>");
        line(1, "</Product>");
        line(0, "</Wix>");
        return out_;
    }

private:
    void line(int depth, const std::string& text) { out_ += std::string(2 * depth, ' ') + text + "\n"; }

    std::string sourcePath(const fs::path& path) const {
        fs::path relative = fs::absolute(path).lexically_normal().lexically_relative(base_.lexically_normal());
        return relative.empty() ? fs::absolute(path).string() : relative.string();
    }

    // A component code of this product that stays the same in every version.
    std::string derivedGuid(std::string_view purpose) const {
        std::string hex;
        for (uint64_t seed : {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull}) {
            uint64_t hash = seed;
            for (char c : msi_.upgradeCode + "/" + std::string(purpose)) {
                hash ^= static_cast<unsigned char>(c);
                hash *= 0x100000001b3ull;
            }
            char part[17];
            std::snprintf(part, sizeof part, "%016llX", static_cast<unsigned long long>(hash));
            hex += part;
        }
        hex[12] = '5';                                                    // name-based
        hex[16] = "89AB"[std::stoi(hex.substr(16, 1), nullptr, 16) & 3];  // the RFC 4122 variant
        return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
               hex.substr(20, 12);
    }

    // Identifiers from the installed path: every version of a package gives a file the
    // same component (wixl derives the component code from it), so an upgrade that
    // removes the old version after installing the new one (as Wine's msiexec does,
    // whatever the sequence says) keeps the files both versions install.
    static std::string stableId(char kind, const std::string& installPath) {
        uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
        for (char c : installPath) {
            hash ^= static_cast<unsigned char>(asciiLower(c));
            hash *= 0x100000001b3ull;
        }
        char text[20];
        std::snprintf(text, sizeof text, "%c%016llX", kind, static_cast<unsigned long long>(hash));
        return text;
    }

    void place(const MsiFile& file) {
        nodeFor(splitList(file.installName, '/')).files.emplace_back(stableId('F', file.installName), &file);
    }

    // The directory of a path's parts but the last.
    DirectoryNode& nodeFor(const std::vector<std::string>& parts) {
        DirectoryNode* node = &root_;
        std::string path;
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            path += parts[i] + "/";
            DirectoryNode& child = node->children[parts[i]];
            if (child.id.empty()) child.id = stableId('D', path);
            node = &child;
        }
        return *node;
    }

    void writeUpgrade() {
        // Every installed version of this upgrade code, the same one included, is
        // removed first; a newer one stops the installation.
        line(2, "<Upgrade" + attr("Id", msi_.upgradeCode) + ">");
        line(3, "<UpgradeVersion Minimum=\"0.0.0\" IncludeMinimum=\"yes\" Property=\"KAVRINREPLACED\"/>");
        line(3, "<UpgradeVersion" + attr("Minimum", msi_.version) +
                    " IncludeMinimum=\"no\" OnlyDetect=\"yes\" Property=\"KAVRINNEWERFOUND\"/>");
        line(2, "</Upgrade>");
        line(2, "<Condition" +
                    attr("Message", "A newer version of " + formatted(msi_.productName) +
                                        " is already installed. Uninstall it first to install this version.") +
                    ">NOT KAVRINNEWERFOUND</Condition>");
    }

    void writeService(int depth) {
        components_.push_back("ServiceExe");
        line(depth, "<Component Id=\"ServiceExe\" Guid=\"*\" Win64=\"yes\">");
        line(depth + 1, "<File Id=\"ServiceExe\"" + attr("Name", msi_.executableName) +
                            attr("Source", sourcePath(executable_)) + " KeyPath=\"yes\"/>");
        std::string install =
            "<ServiceInstall Id=\"Service\"" + attr("Name", formatted(service_.name)) +
            attr("DisplayName", formatted(service_.displayName)) + " Type=\"ownProcess\"" +
            ((service_.serviceType & 0x100) ? " Interactive=\"yes\"" : "") +
            attr("Start", startName(service_.startType)) + " ErrorControl=\"normal\"" +
            attr("Account", service_.account.empty() ? "LocalSystem" : formatted(service_.account)) +
            (service_.description.empty() ? "" : attr("Description", formatted(service_.description))) +
            " Vital=\"yes\"";
        if (service_.dependencies.empty()) {
            line(depth + 1, install + "/>");
        } else {
            line(depth + 1, install + ">");
            for (const auto& name : service_.dependencies)
                line(depth + 2, "<ServiceDependency" + attr("Id", formatted(name)) + "/>");
            line(depth + 1, "</ServiceInstall>");
        }
        // The event log source, as -install registers it, so that uninstall removes it.
        // REG_SZ: wixl writes no expandable strings, and the path holds no variables.
        const std::string source = attr("Key", formatted(eventSourceKey(service_.name)));
        line(depth + 1, "<RegistryValue Root=\"HKLM\"" + source +
                            " Name=\"EventMessageFile\" Type=\"string\" "
                            "Value=\"[#ServiceExe]\"/>");
        line(depth + 1, "<RegistryValue Root=\"HKLM\"" + source + " Name=\"TypesSupported\" Type=\"integer\"" +
                            attr("Value", std::to_string(kEventTypesSupported)) + "/>");
        line(depth + 1, "<ServiceControl Id=\"Service\"" + attr("Name", formatted(service_.name)) +
                            " Start=\"install\" Stop=\"both\" Remove=\"uninstall\" Wait=\"yes\"/>");
        line(depth, "</Component>");
    }

    void writeContents(const DirectoryNode& node, int depth) {
        if (node.removeWhenEmpty) {
            // The output capture's directory: its files stay, the empty directory goes.
            std::string id = "C" + node.id.substr(1);
            components_.push_back(id);
            line(depth, "<Component" + attr("Id", id) + attr("Guid", derivedGuid(id)) + " Win64=\"yes\">");
            line(depth + 1, "<RemoveFolder" + attr("Id", id) + " On=\"uninstall\"/>");
            line(depth, "</Component>");
        }
        for (const auto& [componentId, file] : node.files) {
            components_.push_back(componentId);
            std::string name = splitList(file->installName, '/').back();
            line(depth, "<Component" + attr("Id", componentId) + " Guid=\"*\" Win64=\"yes\">");
            line(depth + 1, "<File" + attr("Id", componentId) + attr("Name", name) +
                                attr("Source", sourcePath(file->source)) + " KeyPath=\"yes\"/>");
            line(depth, "</Component>");
        }
        for (const auto& [name, child] : node.children) {
            line(depth, "<Directory" + attr("Id", child.id) + attr("Name", name) + ">");
            writeContents(child, depth + 1);
            line(depth, "</Directory>");
        }
    }

    const MsiSettings& msi_;
    const ServiceRegistration& service_;
    fs::path executable_, base_;
    DirectoryNode root_;
    std::vector<std::string> components_;
    std::string out_;
};

}  // namespace

ServiceRegistration serviceRegistrationFrom(const ConfigBlock& block) {
    ServiceRegistration service;
    service.name = valueOf(block.narrow, key::kServiceName);
    const std::string displayName = valueOf(block.narrow, key::kServiceDisplayName);
    service.displayName = displayName.empty() ? service.name : displayName;
    const ServiceAccount account = serviceAccount(valueOf(block.narrow, key::kServiceAccount), service.name);
    service.account = account.startName.value_or("");
    service.accountNeedsPassword = account.needsPassword;
    service.serviceType = registeredServiceType(valueOf(block.narrow, key::kServiceInteractive), account);
    service.description = utf16ToUtf8(valueOf(block.wide, key::kServiceDescription)).value_or("");
    service.startType = valueOf(block.narrow, key::kLauncherType) == std::to_string(launcherType::kService) ? 2 : 3;
    service.dependencies = splitList(valueOf(block.narrow, key::kDependencies), ',');
    if (valueOf(block.narrow, key::kLogCapture) == "1") {
        std::string directory = valueOf(block.narrow, key::kLogDirectory);
        std::replace(directory.begin(), directory.end(), '\\', '/');
        fs::path relative = fs::path(directory.empty() ? "logs" : directory).lexically_normal();
        std::string normal = relative.generic_string();
        if (!normal.empty() && normal.back() == '/') normal.pop_back();
        bool below = !relative.has_root_name() && !relative.has_root_directory() && normal != "." &&
                     normal.rfind("..", 0) != 0 && normal.find_first_of(":%") == std::string::npos;
        if (below) service.logDirectory = normal;
    }
    return service;
}

std::optional<std::string> msiVersionProblem(std::string_view version) {
    auto fields = splitList(std::string(version), '.');
    std::string why = "'" + std::string(version) + "' is not major.minor.build (three numbers, e.g. 1.4.0)";
    if (fields.size() != 3 || std::count(version.begin(), version.end(), '.') != 2) return why;
    constexpr std::array<unsigned long, 3> kLimits{255, 255, 65535};
    constexpr std::array<const char*, 3> kNames{"major", "minor", "build"};
    for (size_t i = 0; i < 3; ++i) {
        if (fields[i].size() > 5 || fields[i].find_first_not_of("0123456789") != std::string::npos) return why;
        if (std::stoul(fields[i]) > kLimits[i])
            return "'" + std::string(version) + "': the " + kNames[i] + " number is at most " +
                   std::to_string(kLimits[i]) + " in a Windows Installer version";
    }
    return std::nullopt;
}

std::optional<std::string> upgradeCodeProblem(std::string_view code) {
    std::string_view bare = code;
    if (bare.size() == 38 && bare.front() == '{' && bare.back() == '}') bare = bare.substr(1, 36);
    bool shaped = bare.size() == 36;
    for (size_t i = 0; shaped && i < bare.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        shaped = dash ? bare[i] == '-' : std::isxdigit(static_cast<unsigned char>(bare[i])) != 0;
    }
    if (!shaped)
        return "'" + std::string(code) +
               "' is not a GUID like 6F9619FF-8B86-D011-B42D-00C04FC964FF "
               "(kavrin-pack init makes one)";
    if (bare.find_first_not_of("0-") == std::string_view::npos)
        return std::string("the null GUID cannot be an upgrade code");
    return std::nullopt;
}

MsiSettings readMsiSettings(std::string_view projectText, const fs::path& projectFile,
                            const ServiceRegistration& service) {
    return MsiReader(projectFile, service).read(projectText);
}

std::string wixSource(const MsiSettings& msi, const ServiceRegistration& service, const fs::path& executable,
                      const fs::path& sourceDirectory) {
    return WixWriter(msi, service, executable, sourceDirectory).write();
}

std::string starterMsiSection(const std::string& serviceName) {
    std::random_device random;
    std::string guid;
    const char* digits = "0123456789ABCDEF";
    for (int i = 0; i < 32; ++i) {
        unsigned nibble = random() & 0xF;
        if (i == 12) nibble = 4;                   // version 4: random
        if (i == 16) nibble = 8 | (nibble & 0x3);  // the RFC 4122 variant
        if (i == 8 || i == 12 || i == 16 || i == 20) guid += '-';
        guid += digits[nibble];
    }
    return "\n[msi]\n"
           "# kavrin-pack msi THIS.toml -o " +
           serviceName +
           ".msi: a Windows Installer package that installs\n"
           "# the executable under Program Files\\<manufacturer>\\<product-name> and registers the service.\n"
           "# Builder settings only: they are not written into the executable.\n"
           "product-name = " +
           tomlString(serviceName).value_or("''") +
           "\n"
           "manufacturer = 'My Company'\n"
           "# major.minor.build; raise it for every package you ship: a higher version replaces the installed one\n"
           "version = '1.0.0'\n"
           "# keep this for every version of the product: upgrades find the installed one by it\n"
           "upgrade-code = '" +
           guid +
           "'\n"
           "# installed beside the executable, at the same relative path (wildcards in the file name)\n"
           "#files = ['lib/*.jar']\n"
           "# whole directories, such as a bundled Java runtime\n"
           "#directories = ['jre']\n";
}

}  // namespace kavrin::pack
