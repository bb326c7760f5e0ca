// The configuration block reader over a whole executable image: the in-memory
// decoder, the launcher's readConfig over the fake file system, and the included
// files behind the block.
//
// Invariants: the decoder and readConfig agree (same tables, same end offset, same
// fatal text); failures carry only the launcher's fixed texts; a block re-encoded
// from decoded entries decodes back identically; extraction writes only inside its
// own directory, only the listed names, with the carried content.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "config/Config.h"
#include "config/ConfigBlock.h"
#include "config/Keys.h"
#include "fakes/FakePlatform.h"
#include "files/Extraction.h"

using namespace kavrin;

namespace {

const std::set<std::string> kReadTexts = {
    "Internal Error: magic",      "Internal Error: readInt",     "Internal Error: readShort",
    "Internal Error: readString", "Internal Error: readWString",
};

struct Decoded {
    bool ok = false;
    std::string error;
    DecodedBlock block;
};

Decoded decodeInMemory(std::string_view image) {
    Decoded d;
    try {
        d.block = decodeConfigBlock(image, blockOffsetFromPe(image));
        d.ok = true;
    } catch (const BlockError& e) {
        d.error = e.what();
        FUZZ_CHECK(kReadTexts.count(d.error), "decoder failed with an unknown text");
    }
    return d;
}

template <class Entries, class Table>
Table lastWins(const Entries& entries) {
    Table table;
    for (const auto& [key, value] : entries) table[key] = value;
    return table;
}

void checkRoundTrip(const DecodedBlock& decoded, std::string_view image) {
    const std::string encoded = encodeConfigBlock(decoded.block);
    // Negative counts read as "no entries" and are written as 0: same size either way.
    FUZZ_CHECK(encoded.size() == decoded.endOffset - blockOffsetFromPe(image), "re-encoded size differs");
    const DecodedBlock again = decodeConfigBlock(encoded, 0);
    FUZZ_CHECK(again.block.narrow == decoded.block.narrow, "narrow entries differ after re-encoding");
    FUZZ_CHECK(again.block.wide == decoded.block.wide, "wide entries differ after re-encoding");
    FUZZ_CHECK(again.endOffset == encoded.size(), "end offset of a re-encoded block");
    FUZZ_CHECK(encodeConfigBlock(again.block) == encoded, "encoding is not stable");
}

// What the included-file stream says each name should hold (the last non-empty record wins).
std::map<std::string, std::string> expectedFiles(std::string_view image, uint32_t position,
                                                 const std::vector<std::string>& names, int count) {
    std::map<std::string, std::string> files;
    for (int i = 0; i < count && static_cast<size_t>(i) < names.size(); ++i) {
        if (position > image.size() || image.size() - position < 8) break;
        uint64_t length = 0;
        for (int b = 0; b < 8; ++b) length |= uint64_t(uint8_t(image[position + b])) << (8 * b);
        position += 8;
        if (static_cast<int64_t>(length) <= 0) continue;
        if (image.size() - position < length) break;
        std::string content(image.substr(position, length));
        xorIncluded(content.data(), content.size());
        files[test::lowerAscii(names[i])] = content;
        position += static_cast<uint32_t>(length);
    }
    return files;
}

std::vector<std::string> splitNames(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

void checkExtraction(test::FakePlatform& fake, Process& ctx, const Config& config, std::string_view image) {
    std::set<std::string> before;
    for (const auto& [key, node] : fake.fs.nodes) before.insert(key);
    int rc = -1;
    std::string directory;
    try {
        const ExtractionResult result = extractIncludedFiles(ctx, config);
        rc = result.status;
        directory = result.extraction.directory;
        FUZZ_CHECK(rc >= 0 && rc <= 2, "extraction result outside 0..2");
    } catch (const test::ProcessExit& exit) {
        FUZZ_CHECK(exit.code == 1, "extraction ended with a code other than 1");
        // A fatal end returns no value: the directory is the new one named like a temporary file.
        for (const auto& [key, node] : fake.fs.nodes)
            if (!before.count(key) && key.find(".tmp_dir") != std::string::npos &&
                key.find('\\', key.find(".tmp_dir")) == std::string::npos)
                directory = key;
    }
    const std::string dir = test::lowerAscii(directory);
    const std::vector<std::string> names = splitNames(getConfigString(config, key::kIncludedNames));
    std::set<std::string> lowered;
    for (const auto& n : names) lowered.insert(test::lowerAscii(n));
    for (const auto& [key, node] : fake.fs.nodes) {
        if (before.count(key)) continue;
        FUZZ_CHECK(!dir.empty(), "a file was created without an extraction directory");
        if (key == test::FakeFileSystem::keyOf(directory)) continue;
        const std::string parent = test::FakeFileSystem::keyOf(directory) + "\\";
        FUZZ_CHECK(key.rfind(parent, 0) == 0, "extraction wrote outside its directory");
        FUZZ_CHECK(lowered.count(key.substr(parent.size())), "extraction wrote a name that is not listed");
    }
    if (rc != 0) return;
    const int count = getConfigInt(config, key::kIncludedCount);
    if (count <= 0) return;
    for (const auto& [name, content] : expectedFiles(image, config.endPosition(), names, count)) {
        const std::string path = directory + "\\" + name;
        FUZZ_CHECK(fake.fs.content(path) == content, "extracted content differs from the carried record");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string image(reinterpret_cast<const char*>(data), size);
    const Decoded decoded = decodeInMemory(image);
    if (decoded.ok) checkRoundTrip(decoded.block, image);

    test::FakePlatform fake;
    fake.installExecutable(image);
    Process ctx(fake.platform);
    Config config;
    try {
        config = readConfig(ctx);
    } catch (const test::ProcessExit& exit) {
        FUZZ_CHECK(exit.code == 1, "readConfig ended with a code other than 1");
        FUZZ_CHECK(!decoded.ok, "readConfig failed where the decoder succeeded");
        FUZZ_CHECK(fake.console.boxes.size() == 1, "one message box per fatal error");
        FUZZ_CHECK(fake.console.boxes[0].first == decoded.error, "readConfig and the decoder disagree on the error");
        return 0;
    }
    FUZZ_CHECK(decoded.ok, "readConfig succeeded where the decoder failed");
    using Narrow = std::map<int32_t, std::string>;
    using Wide = std::map<int32_t, std::u16string>;
    FUZZ_CHECK(
        config.tables().narrow == (lastWins<decltype(decoded.block.block.narrow), Narrow>(decoded.block.block.narrow)),
        "narrow table differs from the decoded entries");
    FUZZ_CHECK(config.tables().wide == (lastWins<decltype(decoded.block.block.wide), Wide>(decoded.block.block.wide)),
               "wide table differs from the decoded entries");
    FUZZ_CHECK(config.endPosition() == decoded.block.endOffset, "the block end differs from the decoder's");
    checkExtraction(fake, ctx, config, image);
    return 0;
}
