// The builder's project file reader (TOML text to configuration block).
//
// Invariants: a bad file is refused only through PackError with exit code 1 (or 2
// when a file it names cannot be read), never another exception or a crash; an
// accepted file yields a block with each key once, in key order, that the block
// writer accepts and that decodes back to the same entries.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "config/ConfigBlock.h"
#include "pack/PackError.h"
#include "pack/Project.h"

using namespace kavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    pack::ProjectOptions options;
    options.builderDirectory = "/nonexistent/kavrin-fuzz/bin";
    pack::Project project;
    try {
        project = pack::parseProject(text, "/nonexistent/kavrin-fuzz/project.toml", options);
    } catch (const pack::PackError& error) {
        FUZZ_CHECK(error.exitCode == pack::kExitBadInput || error.exitCode == pack::kExitIoFailure,
                   "refused with an unexpected exit code");
        FUZZ_CHECK(std::string_view(error.what()).size() > 0, "refused without a message");
        return 0;
    } catch (const std::exception& other) {
        std::fprintf(stderr, "unexpected exception: %s\n", other.what());
        FUZZ_CHECK(false, "the reader let an exception other than PackError escape");
    }

    for (size_t i = 1; i < project.block.narrow.size(); ++i)
        FUZZ_CHECK(project.block.narrow[i - 1].first < project.block.narrow[i].first,
                   "narrow keys not strictly ordered");
    for (size_t i = 1; i < project.block.wide.size(); ++i)
        FUZZ_CHECK(project.block.wide[i - 1].first < project.block.wide[i].first, "wide keys not strictly ordered");

    std::string encoded;
    try {
        encoded = encodeConfigBlock(project.block);
    } catch (const BlockError& error) {
        std::fprintf(stderr, "writer refused: %s\n", error.what());
        FUZZ_CHECK(false, "the reader accepted a value the block writer refuses");
    }
    const DecodedBlock decoded = decodeConfigBlock(encoded, 0);
    FUZZ_CHECK(decoded.block.narrow == project.block.narrow, "narrow entries do not read back");
    FUZZ_CHECK(decoded.block.wide == project.block.wide, "wide entries do not read back");
    return 0;
}
