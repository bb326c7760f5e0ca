// The project file reference documents every key the launcher reads, and only
// those: the key numbers in docs/project-file.md are compared with the key
// catalogue and the builder's settings, so the three cannot drift apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "PackTestSupport.h"
#include "pack/Project.h"
#include "pack/Settings.h"
#include "pack/Text.h"

namespace kavrin::pack::test {
namespace {

const fs::path kSource = KAVRIN_PACK_SOURCE_DIR;

std::set<int> catalogueKeys() {
    std::string header = readText(kSource / "src/config/Keys.h");
    std::string keys = header.substr(0, header.find("}  // namespace kavrin::key"));
    std::set<int> found;
    std::regex constant(R"(constexpr int32_t k\w+ = (\d+);)");
    for (std::sregex_iterator it(keys.begin(), keys.end(), constant), end; it != end; ++it)
        found.insert(std::stoi((*it)[1]));
    return found;
}

// Rows of the reference tables: | `section.name` | key | ...
std::vector<std::pair<std::string, int>> documentedRows() {
    std::string doc = readText(kSource / "docs/project-file.md");
    std::vector<std::pair<std::string, int>> found;
    std::regex row(R"(\n\| `([a-z-]+(?:\.[a-z-]+)+)` \| (\d+) \|)");
    for (std::sregex_iterator it(doc.begin(), doc.end(), row), end; it != end; ++it)
        found.emplace_back((*it)[1], std::stoi((*it)[2]));
    return found;
}

TEST(DocsTest, TheReferenceDocumentsEveryCatalogueKey) {
    std::set<int> catalogue = catalogueKeys();
    ASSERT_GE(catalogue.size(), 40u);
    std::set<int> documented;
    for (const auto& [name, key] : documentedRows()) documented.insert(key);
    EXPECT_EQ(documented, catalogue);
}

TEST(DocsTest, TheReferenceNamesEachSettingWithItsKey) {
    std::map<std::string, std::set<int>> documented;
    for (const auto& [name, key] : documentedRows()) documented[name].insert(key);
    for (const auto& setting : allSettings()) {
        std::string name = std::string(setting.section) + "." + std::string(setting.name);
        ASSERT_TRUE(documented.count(name)) << name << " is not documented";
        EXPECT_EQ(documented[name], std::set<int>{setting.key}) << name;
        EXPECT_TRUE(catalogueKeys().count(setting.key)) << name;
    }
    EXPECT_EQ(documented["files.include"], (std::set<int>{2002, 2003}));
}

// The Default column, read back through the builder, gives the value
// `defaults = true` writes.
TEST(DocsTest, TheDocumentedDefaultsAreTheBuildersDefaults) {
    std::string doc = readText(kSource / "docs/project-file.md");
    std::regex row(R"(\n\| `([a-z.-]+)\.([a-z-]+)` \| (\d+) \| (`(.*?)`|— \(not written\)) \|)");
    ScratchDir dir;
    size_t checked = 0;
    for (std::sregex_iterator it(doc.begin(), doc.end(), row), end; it != end; ++it) {
        const Setting* setting = findSetting((*it)[1].str(), (*it)[2].str());
        if (!setting) continue;  // [files] rows
        std::string label = (*it)[1].str() + "." + (*it)[2].str();
        if (!(*it)[5].matched) {
            EXPECT_FALSE(setting->defaultText) << label << " has a default";
            continue;
        }
        writeText(dir / "p.toml", "[project]\ndefaults = false\n[" + (*it)[1].str() + "]\n" + (*it)[2].str() + " = " +
                                      (*it)[5].str() + "\n");
        Project project = loadProject(dir / "p.toml", {std::nullopt, dir.path()});
        std::string written = setting->kind == SettingKind::WideText
                                  ? utf16ToUtf8(project.block.wide.at(0).second).value_or("?")
                                  : project.block.narrow.at(0).second;
        ASSERT_TRUE(setting->defaultText) << label;
        EXPECT_EQ(written, *setting->defaultText) << label;
        ++checked;
    }
    auto settings = allSettings();
    EXPECT_EQ(checked, size_t(std::count_if(settings.begin(), settings.end(),
                                            [](const Setting& s) { return s.defaultText.has_value(); })));
}

}  // namespace
}  // namespace kavrin::pack::test
