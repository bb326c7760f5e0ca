// The stub checks: the builder appends the block only where the launcher will
// look for it, and refuses every stub where that would go wrong.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "pack/Stub.h"

namespace kavrin::pack::test {
namespace {

using kavrin::test::PeOptions;
using kavrin::test::putLe;
using ::testing::HasSubstr;

std::string refusal(const std::string& image) {
    return badInputRefusal([&] { checkStub(image, "stub.exe"); });
}

TEST(StubTest, AcceptsAStrippedConsoleImageAndPlacesTheBlockAtItsEnd) {
    std::string image = stubImage();
    EXPECT_EQ(checkStub(image, "stub.exe"), image.size());
    EXPECT_EQ(checkStub(image, "stub.exe"), blockOffsetFromPe(image));
}

struct BadStub {
    const char* name;
    std::string image;
    std::string message;
};

void PrintTo(const BadStub& stub, std::ostream* out) { *out << stub.name; }

class BadStubTest : public ::testing::TestWithParam<BadStub> {};

TEST_P(BadStubTest, IsRefusedSayingWhatWasFound) {
    EXPECT_THAT(refusal(GetParam().image), HasSubstr("stub.exe: " + GetParam().message));
}

std::string withMagicAtEnd() {
    std::string image = stubImage();
    return image + encodeConfigBlock({});
}

std::string mutated(size_t at, uint64_t value, int bytes) {
    std::string image = stubImage();
    putLe(image, at, value, bytes);
    return image;
}

PeOptions options(void (*change)(PeOptions&)) {
    PeOptions o;
    change(o);
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, BadStubTest,
    ::testing::Values(
        BadStub{"Empty", "", "not a PE executable (no MZ header)"},
        BadStub{"NoMz", "ZM" + stubImage().substr(2), "not a PE executable (no MZ header)"},
        BadStub{"NoPeSignature", mutated(0x80, 0x454E, 4), "not a PE executable (no PE signature)"},
        BadStub{"PeOffsetOutside", mutated(60, 0x7FFFFFFF, 4), "not a PE executable (no PE signature)"},
        BadStub{"X86", stubImage(options([](PeOptions& o) { o.machine = 0x14C; })),
                "not an x86-64 executable (machine 0x14c)"},
        BadStub{"Pe32", stubImage(options([](PeOptions& o) { o.optionalMagic = 0x10B; })),
                "not a PE32+ image (optional header magic 0x10b)"},
        BadStub{"Dll", mutated(0x80 + 22, 0x2022, 2), "not an executable image"},
        BadStub{"Gui", stubImage(options([](PeOptions& o) { o.subsystem = 2; })),
                "not a console executable (subsystem 2, expected 3)"},
        BadStub{"SymbolTable", stubImage(options([](PeOptions& o) { o.symbolTable = 0x600; })),
                "carries a COFF symbol table (PointerToSymbolTable 0x600, NumberOfSymbols 0)"},
        BadStub{"SymbolCount", stubImage(options([](PeOptions& o) { o.symbolCount = 12; })),
                "carries a COFF symbol table (PointerToSymbolTable 0x0, NumberOfSymbols 12)"},
        BadStub{"Signed", stubImage(options([](PeOptions& o) {
                    o.securityOffset = 0x600;
                    o.securitySize = 0x10;
                })),
                "is signed (certificate table at 0x600, 16 bytes); pack the unsigned stub"},
        BadStub{"SignedSizeOnly", stubImage(options([](PeOptions& o) { o.securitySize = 8; })), "is signed"},
        BadStub{"TrailingData", stubImage() + "DEBUG",
                "has 5 bytes of trailing data after the last section's raw data (at 0x600)"},
        // The launcher reads the header that comes last in the table, not the furthest section.
        BadStub{"LastHeaderNotLastInFile", stubImage(options([](PeOptions& o) {
                    o.sections = {{0x400, 0x200}, {0x200, 0x200}};
                })),
                "has 512 bytes of trailing data after the last section's raw data (at 0x400)"},
        BadStub{"BlockPresent", withMagicAtEnd(), "already carries a configuration block (at 0x600)"},
        BadStub{"Truncated", stubImage().substr(0, 0x500), "truncated: the last section's raw data ends at 0x600"},
        BadStub{"NoSections", stubImage(options([](PeOptions& o) { o.sections = {}; })),
                "damaged PE image (no sections)"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(StubTest, ARefusedStubLeavesNoOutputBehind) {
    ScratchDir dir;
    writeStub(dir.path(), stubImage() + "trailing");
    writeText(dir / "p.toml", "[files]\nruntime = false\n");
    BuildRequest request = requestFor(dir.path(), dir / "p.toml");
    auto [code, message] = buildFailure(request);
    EXPECT_EQ(code, kExitBadInput);
    EXPECT_THAT(message, HasSubstr("trailing data"));
    EXPECT_FALSE(fs::exists(dir / "out.exe"));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST(StubTest, APackedExecutableIsNotAStubAgain) {
    ScratchDir dir;
    writeText(dir / "p.toml", "[files]\nruntime = false\n");
    BuildRequest request = requestFor(dir.path(), dir / "p.toml");
    buildExecutable(request);
    request.stub = dir / "out.exe";
    request.output = dir / "again.exe";
    EXPECT_THAT(buildFailure(request).second, HasSubstr("already carries a configuration block"));
}

}  // namespace
}  // namespace kavrin::pack::test
