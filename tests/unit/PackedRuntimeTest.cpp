#include <gtest/gtest.h>

#include "config/Keys.h"
#include "fakes/LauncherWorld.h"
#include "files/PackedRuntime.h"

namespace kavrin {
namespace {

constexpr const char* kHome = "C:\\Program Files\\jre";
constexpr const char* kUnpacker = "C:\\Program Files\\jre\\bin\\unpack200.exe";

class PackedRuntime : public ::testing::Test, protected test::LauncherWorld {
protected:
    void SetUp() override {
        fake.env.put("KAVRIN_LOG", "yes");
        ctx.fatal.useMessageBox = false;
        set(key::kMsgInternalError, "An internal error occurred (error code: {0})");
    }
    void pack(const std::string& archive) { fake.fs.addFile(std::string(kHome) + "\\" + archive + ".pack", "p"); }
    // An unpacker that does what the real one does with -r: jar in place of the pack.
    void installUnpacker() {
        fake.fs.addFile(kUnpacker, "MZ");
        test::FakeProgram unpacker;
        unpacker.onRun = [this] {
            const std::string& line = fake.processes.commandLines.back();
            const size_t packStart = line.find("-r \"") + 4;
            const std::string packed = line.substr(packStart, line.find('"', packStart) - packStart);
            const std::string archive = packed.substr(0, packed.size() - 5);
            fake.fs.addFile(archive, "jar");
            fake.fs.deleteFile(packed);
        };
        fake.processes.addProgram(kUnpacker, unpacker);
    }
    std::string cmd(const std::string& archive) {
        const std::string path = std::string(kHome) + "\\" + archive;
        return "\"" + std::string(kUnpacker) + "\" -r \"" + path + ".pack\" \"" + path + "\"";
    }
};

TEST_F(PackedRuntime, HomeWithoutPackedRtJarIsLeftAlone) {
    installUnpacker();
    pack("lib\\charsets.jar");
    preparePackedRuntime(ctx, config, kHome);
    EXPECT_TRUE(fake.processes.commandLines.empty());
    EXPECT_EQ(fake.console.stdoutText, "");
    EXPECT_EQ(fake.logText(), "");
}

TEST_F(PackedRuntime, PreparedHomeIsLeftAlone) {
    installUnpacker();
    pack("lib\\rt.jar");
    fake.fs.addFile(std::string(kHome) + "\\lib\\jsse.jar", "jar");
    preparePackedRuntime(ctx, config, kHome);
    EXPECT_TRUE(fake.processes.commandLines.empty());
    EXPECT_EQ(fake.console.stdoutText, "");
}

TEST_F(PackedRuntime, UnpacksInTableOrderAndSkipsMissingPacks) {
    installUnpacker();
    for (const char* archive : {"lib\\jsse.jar", "lib\\deploy.jar", "lib\\rt.jar", "lib\\ext\\localedata.jar"})
        pack(archive);

    preparePackedRuntime(ctx, config, kHome);

    EXPECT_EQ(fake.processes.commandLines,
              (std::vector<std::string>{cmd("lib\\rt.jar"), cmd("lib\\deploy.jar"), cmd("lib\\ext\\localedata.jar"),
                                        cmd("lib\\jsse.jar")}));
    EXPECT_EQ(fake.console.stdoutText, "Preparing JRE ...\n");
    const std::string log = fake.logText();
    const std::string lib = std::string(kHome) + "\\lib\\";
    EXPECT_NE(log.find("\nUnpacking JRE\n"
                       "Unpacking " +
                       lib + "rt.jar.pack to " + lib +
                       "rt.jar\n"
                       "waiting for unpack200 to finish\n"
                       "unpack done\n"
                       "Unpacking " +
                       lib + "charsets.jar.pack to " + lib +
                       "charsets.jar\n"
                       "pack path doesn't exists\n"
                       "Unpacking " +
                       lib + "plugin.jar.pack to " + lib +
                       "plugin.jar\n"
                       "pack path doesn't exists\n"
                       "Unpacking " +
                       lib + "deploy.jar.pack to " + lib +
                       "deploy.jar\n"
                       "waiting for unpack200 to finish\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("unpack done\nUnpacking JRE done\n"), std::string::npos);

    // Done once: jsse.jar now marks the home as prepared.
    preparePackedRuntime(ctx, config, kHome);
    EXPECT_EQ(fake.processes.commandLines.size(), 4u);
}

TEST_F(PackedRuntime, MissingUnpackerIsInternalError20) {
    pack("lib\\rt.jar");
    EXPECT_EQ(test::exitCodeOf([&] { preparePackedRuntime(ctx, config, kHome); }), 1u);
    EXPECT_NE(fake.logText().find("could not create unpack process\n"), std::string::npos);
    EXPECT_EQ(fake.console.stderrText.find("An internal error occurred (error code: 20)"), 0u);
}

TEST(UnpackCommandLine, QuotesTheProgramAndBothPaths) {
    EXPECT_EQ(makeUnpackCommandLine("C:\\Program Files\\jre", "C:\\a b\\x.jar.pack", "C:\\a b\\x.jar"),
              "\"C:\\Program Files\\jre\\bin\\unpack200.exe\" -r \"C:\\a b\\x.jar.pack\" \"C:\\a b\\x.jar\"");
}

}  // namespace
}  // namespace kavrin
