#include "Win32TestSupport.h"

namespace kavrin::test {

void Win32Test::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch = os.fs.tempPath() + "kvr-wt-" + std::to_string(os.processes.currentProcessId()) + "-" +
              info->test_suite_name() + "-" + info->name();
    ASSERT_TRUE(os.fs.createDirectory(scratch)) << scratch << " error " << os.fs.lastError();
    scratch += "\\";
}

void Win32Test::TearDown() {
    if (!scratch.empty()) removeTree(scratch.substr(0, scratch.size() - 1));
}

void Win32Test::removeTree(const std::string& directory) {
    for (const FindEntry& entry : os.fs.find(directory + "\\*")) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string path = directory + "\\" + entry.name;
        if (entry.isDirectory) removeTree(path);
        else os.fs.deleteFile(path);
    }
    os.fs.removeDirectory(directory);
}

std::string Win32Test::writeFile(const std::string& name, const std::string& content) {
    std::string path = scratch + name;
    auto file = os.fs.openFile(path, FileAccess::Write, FileShare::None, FileDisposition::CreateAlways);
    EXPECT_TRUE(file) << path;
    if (file) {
        EXPECT_EQ(file->write(content.data(), content.size()).bytes, content.size());
    }
    return path;
}

std::string Win32Test::readFile(const std::string& path) {
    auto file = os.fs.openFile(path, FileAccess::Read, FileShare::All, FileDisposition::OpenExisting);
    if (!file) return "<cannot open " + path + ">";
    std::string content(1 << 16, '\0');
    IoResult r = file->read(content.data(), content.size());
    content.resize(r.bytes);
    return content;
}

std::string Win32Test::exeDirectory() {
    std::string exe = os.module.fileNameA();
    return exe.substr(0, exe.find_last_of('\\') + 1);
}

std::string withoutTimestamps(const std::string& text) {
    std::string out;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) end = text.size() - 1;
        std::string line = text.substr(start, end + 1 - start);
        if (line.size() >= 24 && line[4] == '-' && line[13] == ':' && line[23] == ' ') line.erase(0, 24);
        out += line;
    }
    return out;
}

}  // namespace kavrin::test
