// `inspect` prints a project file that builds the same block again, for every
// project file of the examples and tests and for blocks no named setting can express.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "pack/Project.h"
#include "pack/Readback.h"
#include "pack/Stub.h"

namespace kavrin::pack::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Packed {
    std::string image;
    Carried carried;
    std::string text;
};

// Builds (when given a project) or takes an image, and inspects it, extracting the files.
Packed inspectImage(const std::string& image, const fs::path& dir) {
    Packed packed{image, readCarried(image, "out.exe"), ""};
    RenderOptions options{"out.exe", dir / "extracted", dir};
    extractCarried(image, packed.carried, dir / "extracted");
    packed.text = renderProject(packed.carried, options);
    return packed;
}

std::string blockBytes(const Packed& packed) {
    return packed.image.substr(packed.carried.blockOffset, packed.carried.endOffset - packed.carried.blockOffset);
}

std::vector<std::pair<std::string, std::string>> carriedFiles(const Packed& packed) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& file : packed.carried.files)
        files.emplace_back(file.name, packed.image.substr(file.offset, file.length > 0 ? file.length : 0));
    return files;
}

// inspect, then build what it printed: the same block and the same carried files.
void expectRoundTrip(const std::string& image, const fs::path& dir) {
    Packed first = inspectImage(image, dir);
    writeText(dir / "again.toml", first.text);
    BuildRequest request = requestFor(dir, dir / "again.toml");
    request.output = dir / "again.exe";
    buildExecutable(request);
    Packed second = inspectImage(readText(dir / "again.exe"), dir / "second");
    EXPECT_EQ(blockBytes(first), blockBytes(second)) << first.text;
    EXPECT_EQ(carriedFiles(first), carriedFiles(second));
    EXPECT_EQ(first.text, second.text);
}

std::vector<fs::path> projectFiles() {
    std::vector<fs::path> found;
    for (const char* root : {"examples", "tests/pack"}) {
        fs::path base = fs::path(KAVRIN_PACK_SOURCE_DIR) / root;
        for (const auto& entry : fs::recursive_directory_iterator(base))
            if (entry.path().extension() == ".toml") found.push_back(entry.path());
    }
    return found;
}

TEST(InspectTest, EveryExampleAndTestProjectRoundTrips) {
    auto projects = projectFiles();
    ASSERT_GE(projects.size(), 5u) << "the example and the test projects under tests/pack";
    for (const auto& project : projects) {
        SCOPED_TRACE(project.string());
        ScratchDir dir;
        BuildRequest request = requestFor(dir.path(), project);
        buildExecutable(request);
        std::string image = readText(dir / "out.exe");
        expectRoundTrip(image, dir.path());
        // And the block is the one the project file describes.
        Project parsed = loadProject(project, {std::nullopt, dir / "bin"});
        Packed packed = inspectImage(image, dir / "check");
        EXPECT_EQ(blockBytes(packed), encodeConfigBlock(parsed.block));
    }
}

TEST(InspectTest, ValuesNoNamedSettingExpressesGoToRawTables) {
    ConfigBlock block;
    // clang-format off
    block.narrow = {{101, "it's"},        {107, "007"},        {121, "S0lib"},     {125, "yes"},
                    {128, "B;;R;"},       {500, "\xe9t\xe9"},  {501, std::string("a\0b", 3)},
                    {1006, "missing\n"},  {2001, "kx"},        {10004, "a;;b"}};
    // clang-format on
    block.wide = {{20017, u"\xd800"}, {30000, u"other"}};
    ScratchDir dir;
    std::string image = stubImage() + encodeConfigBlock(block);
    Packed packed = inspectImage(image, dir.path());
    EXPECT_THAT(packed.text, HasSubstr("defaults = false"));
    EXPECT_THAT(packed.text, HasSubstr("name = \"it's\"  # key 101"));
    EXPECT_THAT(packed.text, HasSubstr("class-path-entry-missing = \"missing\\n\""));
    EXPECT_THAT(packed.text,
                HasSubstr("[raw]\n\"107\" = '007'\n\"121\" = 'S0lib'\n\"125\" = 'yes'\n\"128\" = 'B;;R;'\n"));
    EXPECT_THAT(packed.text, HasSubstr("[raw-hex]\n\"500\" = 'e9 74 e9'\n\"501\" = '61 00 62'\n"));
    EXPECT_THAT(packed.text, HasSubstr("[raw-wide]\n\"30000\" = 'other'\n"));
    EXPECT_THAT(packed.text, HasSubstr("[raw-wide-hex]\n\"20017\" = '00 d8'\n"));
    expectRoundTrip(image, dir.path());
}

TEST(InspectTest, AProjectKeepingTheDefaultsPrintsOnlyWhatDiffers) {
    ScratchDir dir;
    writeText(dir / "p.toml",
              "[service]\nname = 'svc'\n[java]\nmain-class = 'x.Main'\n[jvm]\nmin-version = '11'\n"
              "[messages]\ncaption = 'Error'\n");
    buildExecutable(requestFor(dir.path(), dir / "p.toml"));
    Packed packed = inspectImage(readText(dir / "out.exe"), dir.path());
    EXPECT_THAT(packed.text, HasSubstr("defaults = true"));
    EXPECT_THAT(packed.text, HasSubstr("[jvm]\nmin-version = '11'  # key 126\n"));
    EXPECT_THAT(packed.text, HasSubstr("runtime = true\nruntime-jar = 'extracted/kavrin-runtime.jar'"));
    EXPECT_THAT(packed.text, Not(HasSubstr("vm-options")));
    EXPECT_THAT(packed.text, Not(HasSubstr("[messages]")));
    EXPECT_THAT(packed.text, Not(HasSubstr("[raw")));
}

TEST(InspectTest, AnUnsortedBlockIsNotedAndRebuiltWithTheLastValueOfEachKey) {
    ConfigBlock block;
    block.narrow = {{126, "1.6"}, {101, "svc"}, {126, "1.7"}};
    ScratchDir dir;
    Packed packed = inspectImage(stubImage() + encodeConfigBlock(block), dir.path());
    EXPECT_THAT(packed.text, HasSubstr("# note: the block's entries are not sorted by key or a key repeats"));
    writeText(dir / "again.toml", packed.text);
    Project rebuilt = loadProject(dir / "again.toml", {std::nullopt, dir / "bin"});
    EXPECT_EQ(narrowMap(rebuilt.block), (std::map<int32_t, std::string>{{101, "svc"}, {126, "1.7"}}));
}

TEST(InspectTest, TheCarriedFilesAreTheRecordsTheLauncherReads) {
    ScratchDir dir;
    writeText(dir / "one.bin", std::string("\0\xa7xyz", 5));
    writeText(dir / "two.bin", "");
    writeText(dir / "p.toml", "[project]\ndefaults = false\n[files]\ninclude = ['one.bin', 'two.bin']\n");
    buildExecutable(requestFor(dir.path(), dir / "p.toml"));
    std::string image = readText(dir / "out.exe");
    Carried carried = readCarried(image, "out.exe");
    ASSERT_EQ(carried.files.size(), 2u);
    EXPECT_EQ(carried.files[0].length, 5);
    EXPECT_EQ(image.substr(carried.files[0].offset - 8, 13), std::string("\x05\0\0\0\0\0\0\0\xa7\0\xdf\xde\xdd", 13));
    EXPECT_EQ(carried.files[1].length, 0);
    EXPECT_EQ(carried.files[1].offset, image.size());

    // The count wins over the names, as in the launcher.
    writeText(dir / "p.toml",
              "[project]\ndefaults = false\n[files]\ninclude = ['one.bin', 'two.bin']\n[raw]\n\"2002\" = 1\n");
    buildExecutable(requestFor(dir.path(), dir / "p.toml"));
    image = readText(dir / "out.exe");
    Packed packed = inspectImage(image, dir / "x");
    EXPECT_EQ(packed.carried.files.size(), 1u);
    EXPECT_THAT(packed.text, HasSubstr("\"2003\" = 'one.bin;two.bin'"));
    expectRoundTrip(image, dir / "y");
}

TEST(InspectTest, AFileWithoutABlockIsRefusedAndADamagedOneWithTheLaunchersText) {
    auto refusal = [](const std::string& image) { return badInputRefusal([&] { readCarried(image, "plain.exe"); }); };
    const std::string none = "`plain.exe` carries no configuration block (not packed by kavrin-pack)";
    EXPECT_EQ(refusal(stubImage()), none);
    EXPECT_EQ(refusal(stubImage() + "DEBUG DATA"), none);
    EXPECT_EQ(refusal(stubImage() + std::string("\xd5\x13\xe4\xe8\x02", 5)),
              "plain.exe: no readable configuration block (Internal Error: readInt)");
}

// Signing appends a certificate table at the end of the file and changes nothing
// the launcher reads: the block is still found from the section table.
TEST(SigningTest, ASignedPackedExecutableStillCarriesItsBlock) {
    if (std::system("command -v osslsigncode >/dev/null 2>&1 && command -v openssl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "osslsigncode or openssl not installed";
    ScratchDir dir;
    writeText(dir / "app.jar", "PK application");
    writeText(dir / "p.toml",
              "[service]\nname = 'signed'\n[java]\nmain-class = 'x.Main'\n[files]\ninclude = ['app.jar']\n");
    buildExecutable(requestFor(dir.path(), dir / "p.toml"));
    std::string command =
        "cd '" + dir.path().string() +
        "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2"
        " -subj '/CN=Kavrin test' >/dev/null 2>&1"
        " && osslsigncode sign -certs cert.pem -key key.pem -in out.exe -out signed.exe >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::string packed = readText(dir / "out.exe"), signedImage = readText(dir / "signed.exe");
    ASSERT_GT(signedImage.size(), packed.size());
    Carried before = readCarried(packed, "out.exe"), after = readCarried(signedImage, "signed.exe");
    EXPECT_EQ(after.blockOffset, before.blockOffset);
    EXPECT_EQ(encodeConfigBlock(after.block), encodeConfigBlock(before.block));
    ASSERT_EQ(after.files.size(), 2u);
    EXPECT_EQ(signedImage.substr(after.files[0].offset, after.files[0].length),
              packed.substr(before.files[0].offset, before.files[0].length));
    // Only the checksum and the certificate directory entry change before the old end.
    const size_t optional = 0x80 + 24;
    std::string a = packed, b = signedImage.substr(0, packed.size());
    for (size_t at : {optional + 64, optional + 144})
        for (size_t i = 0; i < 8 && !(at == optional + 64 && i >= 4); ++i) a[at + i] = b[at + i] = 0;
    EXPECT_TRUE(a == b);
    uint32_t certificate = 0;
    for (int i = 0; i < 4; ++i)
        certificate |= uint32_t(static_cast<unsigned char>(signedImage[optional + 144 + i])) << (8 * i);
    EXPECT_GE(certificate, packed.size());
    // A signed file is no stub.
    EXPECT_THROW(checkStub(signedImage, "signed.exe"), PackError);
}

}  // namespace
}  // namespace kavrin::pack::test
