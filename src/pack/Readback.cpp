#include "pack/Readback.h"

#include <algorithm>
#include <map>
#include <set>
#include <variant>

#include "config/Config.h"
#include "config/Keys.h"
#include "pack/FileIo.h"
#include "pack/PackError.h"
#include "pack/Project.h"
#include "pack/Settings.h"
#include "pack/Text.h"

namespace kavrin::pack {
namespace fs = std::filesystem;
namespace {

int64_t readLe64(std::string_view image, uint64_t offset) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= uint64_t(static_cast<unsigned char>(image[offset + i])) << (8 * i);
    return static_cast<int64_t>(value);
}

template <class Entries>
bool strictlyIncreasing(const Entries& entries) {
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i - 1].first >= entries[i].first) return false;
    return true;
}

std::optional<std::string> renderValue(const SettingValue& value) {
    if (auto* text = std::get_if<std::string>(&value)) return tomlString(*text);
    if (auto* number = std::get_if<int64_t>(&value)) return std::to_string(*number);
    if (auto* flag = std::get_if<bool>(&value)) return std::string(*flag ? "true" : "false");
    const auto& list = std::get<std::vector<std::string>>(value);
    std::string out = "[";
    for (size_t i = 0; i < list.size(); ++i) {
        auto item = tomlString(list[i]);
        if (!item) return std::nullopt;
        out += (i ? ", " : "") + *item;
    }
    return out + "]";
}

class Renderer {
public:
    Renderer(const Carried& carried, const RenderOptions& options) : carried_(carried), options_(options) {
        for (const auto& [key, text] : carried.block.narrow) narrow_[key] = text;  // the last one counts
        for (const auto& [key, text] : carried.block.wide) wide_[key] = text;
    }

    std::string render() {
        decideDefaults();
        decideFiles();
        std::map<std::string_view, std::string> sections;
        for (const auto& setting : allSettings()) renderSetting(setting, sections[setting.section]);
        for (const auto& [key, text] : narrow_) {
            if (!handled_.count(key)) rawNarrow(key, text);
        }
        for (const auto& [key, text] : wide_) {
            if (!handledWide_.count(key)) rawWide(key, text);
        }

        std::string out = "# Configuration carried by " + options_.source + "\n";
        out += "# block at offset " + std::to_string(carried_.blockOffset) + ", " +
               std::to_string(carried_.block.narrow.size()) + " narrow and " +
               std::to_string(carried_.block.wide.size()) + " wide entries\n";
        if (!strictlyIncreasing(carried_.block.narrow) || !strictlyIncreasing(carried_.block.wide))
            out +=
                "# note: the block's entries are not sorted by key or a key repeats; `build` writes the same\n"
                "# values (the last of each key), sorted and once each, so its block is equivalent, not identical\n";
        out += "\n[project]\ndefaults = " + std::string(defaults_ ? "true" : "false") + "\n";
        for (auto section : settingSections())
            if (!sections[section].empty()) out += "\n[" + std::string(section) + "]\n" + sections[section];
        out += "\n[files]\n" + files_;
        for (const auto& [name, body] : raw_)
            if (!body.empty()) out += "\n[" + name + "]\n" + body;
        return out;
    }

private:
    void decideDefaults() {
        defaults_ = narrow_.count(key::kIncludedCount) && narrow_.count(key::kIncludedNames);
        for (const auto& setting : allSettings()) {
            if (!setting.defaultText) continue;
            bool wide = setting.kind == SettingKind::WideText;
            if (wide ? !wide_.count(setting.key) : !narrow_.count(setting.key)) defaults_ = false;
        }
    }

    // The included files, and raw values where the block's count or names differ
    // from what `build` writes for them.
    void decideFiles() {
        std::vector<std::string> names;
        for (const auto& file : carried_.files) names.push_back(file.name);
        bool runtime = !names.empty() && names.back() == kRuntimeJarName;
        if (runtime) names.pop_back();
        files_ = "runtime = " + std::string(runtime ? "true" : "false") + "\n";
        if (runtime && options_.extractDirectory)
            files_ += "runtime-jar = " + tomlString(relativePath(std::string(kRuntimeJarName))).value_or("''") + "\n";
        std::string list;
        for (const auto& name : names) {
            std::string path = name;
            if (options_.extractDirectory) path = relativePath(name);
            list += "    " + tomlString(path).value_or("'?'") + ",\n";
        }
        if (!options_.extractDirectory && !names.empty())
            files_ += "# the files are not beside this text; `inspect --extract DIR` writes them out\n";
        files_ += names.empty() ? "include = []\n" : "include = [\n" + list + "]\n";

        std::string joined;
        for (const auto& file : carried_.files) joined += (joined.empty() ? "" : ";") + file.name;
        bool written = !carried_.files.empty() || defaults_;
        std::map<int32_t, std::string> expected;
        if (written)
            expected = {{key::kIncludedCount, std::to_string(carried_.files.size())}, {key::kIncludedNames, joined}};
        for (int32_t key : {key::kIncludedCount, key::kIncludedNames}) {
            handled_.insert(key);
            auto it = narrow_.find(key);
            if (it == narrow_.end()) continue;
            if (!expected.count(key) || expected[key] != it->second) rawNarrow(key, it->second);
        }
    }

    // An extracted file as the printed project file will name it.
    std::string relativePath(const std::string& name) const {
        fs::path file = fs::absolute(*options_.extractDirectory / name);
        fs::path relative = file.lexically_relative(fs::absolute(options_.projectDirectory));
        return (relative.empty() ? file : relative).generic_string();
    }

    void renderSetting(const Setting& setting, std::string& out) {
        bool wide = setting.kind == SettingKind::WideText;
        std::string text;
        if (wide) {
            auto it = wide_.find(setting.key);
            if (it == wide_.end()) return;
            auto utf8 = utf16ToUtf8(it->second);
            if (!utf8) return;  // a lone surrogate: left to [raw-wide-hex]
            text = *utf8;
        } else {
            auto it = narrow_.find(setting.key);
            if (it == narrow_.end()) return;
            text = it->second;
        }
        auto value = blockTextToSetting(setting, text);
        std::optional<std::string> rendered = value ? renderValue(*value) : std::nullopt;
        if (!rendered) return;  // not expressible by the named setting: left to a raw table
        (wide ? handledWide_ : handled_).insert(setting.key);
        if (defaults_ && setting.defaultText && *setting.defaultText == text) return;
        out += std::string(setting.name) + " = " + *rendered + "  # key " + std::to_string(setting.key) + "\n";
    }

    void rawNarrow(int32_t key, const std::string& text) {
        if (auto spelled = tomlString(text)) raw_["raw"] += "\"" + std::to_string(key) + "\" = " + *spelled + "\n";
        else raw_["raw-hex"] += "\"" + std::to_string(key) + "\" = '" + toHex(text) + "'\n";
    }

    void rawWide(int32_t key, const std::u16string& text) {
        auto utf8 = utf16ToUtf8(text);
        std::optional<std::string> spelled = utf8 ? tomlString(*utf8) : std::nullopt;
        if (spelled) raw_["raw-wide"] += "\"" + std::to_string(key) + "\" = " + *spelled + "\n";
        else raw_["raw-wide-hex"] += "\"" + std::to_string(key) + "\" = '" + toHex(utf16leBytes(text)) + "'\n";
    }

    const Carried& carried_;
    const RenderOptions& options_;
    std::map<int32_t, std::string> narrow_;
    std::map<int32_t, std::u16string> wide_;
    std::set<int32_t> handled_, handledWide_;
    bool defaults_ = false;
    std::string files_;
    std::map<std::string, std::string> raw_;
};

}  // namespace

Carried readCarried(std::string_view image, const std::string& name) {
    Carried carried;
    try {
        carried.blockOffset = blockOffsetFromPe(image);
        std::string expected;
        appendLe32(expected, kConfigMagic);
        if (image.substr(std::min<size_t>(carried.blockOffset, image.size()), 4) != expected)
            failBadInput("`" + name + "` carries no configuration block (not packed by kavrin-pack)");
        DecodedBlock decoded = decodeConfigBlock(image, carried.blockOffset);
        carried.block = std::move(decoded.block);
        carried.endOffset = decoded.endOffset;
    } catch (const BlockError& error) {
        failBadInput(name + ": no readable configuration block (" + error.what() + ")");
    }
    std::string count, names;
    for (const auto& [key, text] : carried.block.narrow) {
        if (key == key::kIncludedCount) count = text;
        if (key == key::kIncludedNames) names = text;
    }
    // The launcher reads the smaller of the count and the number of non-empty names.
    int wanted = parseConfigInt(count);
    uint64_t position = carried.endOffset;
    size_t start = 0;
    while (wanted > 0 && start <= names.size()) {
        size_t end = std::min(names.find(';', start), names.size());
        std::string fileName = names.substr(start, end - start);
        start = end + 1;
        if (fileName.empty()) continue;
        --wanted;
        CarriedFile file{fileName, position + 8, 0, true};
        if (position + 8 > image.size()) {
            file.complete = false;
            carried.files.push_back(file);
            break;
        }
        file.length = readLe64(image, position);
        uint64_t length = file.length > 0 ? static_cast<uint64_t>(file.length) : 0;
        file.complete = length <= image.size() - file.offset;
        carried.files.push_back(file);
        if (!file.complete) break;
        position = file.offset + length;
    }
    return carried;
}

std::string renderProject(const Carried& carried, const RenderOptions& options) {
    return Renderer(carried, options).render();
}

void extractCarried(std::string_view image, const Carried& carried, const fs::path& directory) {
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec) failIo(displayPath(directory) + ": cannot create the directory: " + ec.message());
    for (const auto& file : carried.files) {
        if (!file.complete) failBadInput("included file '" + file.name + "' is cut short in the executable");
        if (auto problem = unsafeNameProblem(file.name))
            failBadInput("included file '" + file.name + "' is not extracted: " + *problem);
        uint64_t length = file.length > 0 ? static_cast<uint64_t>(file.length) : 0;
        std::string content(image.substr(file.offset, length));
        xorIncluded(content.data(), content.size());
        writeFileAtomically(directory / file.name, content);
    }
}

}  // namespace kavrin::pack
