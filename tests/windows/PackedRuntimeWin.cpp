// Packed runtime preparation with real processes: the stand-in unpack200.exe records
// its command lines, so order and quoting are checked as Windows parsed them.
#include "Win32TestSupport.h"

#include "config/Keys.h"
#include "diagnostics/Log.h"
#include "fakes/LauncherWorld.h"
#include "files/PackedRuntime.h"

namespace kavrin::test {
namespace {

class PackedRuntimeWin : public Win32Test {
protected:
    void SetUp() override {
        Win32Test::SetUp();
        home = scratch + "jre home";  // a blank in the home: the program path must be quoted
        ASSERT_TRUE(os.fs.createDirectory(home));
        ASSERT_TRUE(os.fs.createDirectory(home + "\\bin"));
        ASSERT_TRUE(os.fs.createDirectory(home + "\\lib"));
        ASSERT_TRUE(os.fs.createDirectory(home + "\\lib\\ext"));
    }
    void installUnpacker() {
        const std::string content = readWhole(exeDirectory() + "fixtures\\unpack200.exe");
        ASSERT_GT(content.size(), 1000u) << "stand-in unpack200.exe missing";
        writeBytes(home + "\\bin\\unpack200.exe", content);
    }
    void writeBytes(const std::string& path, const std::string& content) {
        auto file = os.fs.openFile(path, FileAccess::Write, FileShare::None, FileDisposition::CreateAlways);
        ASSERT_TRUE(file) << path;
        ASSERT_EQ(file->write(content.data(), content.size()).bytes, content.size());
    }
    // Win32Test::readFile stops at 64 KiB; the stand-in is larger.
    std::string readWhole(const std::string& path) {
        auto file = os.fs.openFile(path, FileAccess::Read, FileShare::All, FileDisposition::OpenExisting);
        if (!file) return {};
        std::string out, chunk(1 << 16, '\0');
        for (;;) {
            IoResult r = file->read(chunk.data(), chunk.size());
            if (!r.ok || r.bytes == 0) break;
            out.append(chunk.data(), r.bytes);
        }
        return out;
    }
    bool exists(const std::string& path) { return os.fs.findFirst(path).has_value(); }
    std::string commandLine(const std::string& archive) {
        const std::string path = home + "\\" + archive;
        return "\"" + home + "\\bin\\unpack200.exe\" -r \"" + path + ".pack\" \"" + path + "\"";
    }

    std::string home;
};

TEST_F(PackedRuntimeWin, UnpacksPresentPacksInTableOrder) {
    installUnpacker();
    writeBytes(home + "\\lib\\jsse.jar.pack", "jsse");
    writeBytes(home + "\\lib\\rt.jar.pack", std::string("rt\0\xA7", 4));
    writeBytes(home + "\\lib\\ext\\localedata.jar.pack", "locale");
    Process ctx(os);
    Config config;

    preparePackedRuntime(ctx, config, home);

    EXPECT_EQ(readWhole(home + "\\bin\\unpack200.record"), commandLine("lib\\rt.jar") + "\n" +
                                                               commandLine("lib\\ext\\localedata.jar") + "\n" +
                                                               commandLine("lib\\jsse.jar") + "\n");
    EXPECT_EQ(readWhole(home + "\\lib\\rt.jar"), std::string("rt\0\xA7", 4));
    EXPECT_EQ(readWhole(home + "\\lib\\jsse.jar"), "jsse");
    EXPECT_FALSE(exists(home + "\\lib\\rt.jar.pack"));
    EXPECT_FALSE(exists(home + "\\lib\\charsets.jar"));

    // jsse.jar marks the home as prepared: nothing runs again.
    preparePackedRuntime(ctx, config, home);
    EXPECT_EQ(readWhole(home + "\\bin\\unpack200.record").size(), commandLine("lib\\rt.jar").size() +
                                                                      commandLine("lib\\ext\\localedata.jar").size() +
                                                                      commandLine("lib\\jsse.jar").size() + 3);
}

TEST_F(PackedRuntimeWin, MissingUnpackerIsInternalError20) {
    writeBytes(home + "\\lib\\rt.jar.pack", "rt");
    FakeExit exit;  // ends "the process" by throwing, so the fatal path is checked in-process
    Platform platform{os.fs, os.registry, os.env,       os.processes, os.services, os.console,
                      exit,  os.clock,    os.codePages, os.module,    os.libraries};
    Process ctx(platform);
    ctx.fatal.useMessageBox = false;
    const Config config = Config().with(key::kMsgInternalError, "An internal error occurred (error code: {0})");
    os.env.set("KAVRIN_LOG", "yes");
    EXPECT_EQ(exitCodeOf([&] { preparePackedRuntime(ctx, config, home); }), 1u);
    os.env.set("KAVRIN_LOG", "");
    auto log = getLogPath(ctx);
    ASSERT_TRUE(log);
    ctx.log.stream.reset();  // closed, so the file can go
    const std::string text = readWhole(*log);
    os.fs.deleteFile(*log);
    EXPECT_NE(text.find("could not create unpack process\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("unpack done"), std::string::npos);
    EXPECT_TRUE(exists(home + "\\lib\\rt.jar.pack"));
}

}  // namespace
}  // namespace kavrin::test
