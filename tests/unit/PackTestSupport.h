// Shared by the builder's tests: a scratch directory, a crafted stub, and running
// the kavrin-pack binary itself.
#pragma once

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "config/ConfigBlock.h"
#include "fakes/PeImage.h"
#include "pack/Build.h"
#include "pack/FileIo.h"
#include "pack/PackError.h"

namespace kavrin::pack::test {

namespace fs = std::filesystem;

inline void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const fs::path& path) { return readWholeFile(path, "test file"); }

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "kavrin-pack-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// makePeImage with the file characteristics of a linked executable (executable
// image, large-address aware), which the builder demands.
inline std::string stubImage(const kavrin::test::PeOptions& options = {}) {
    std::string image = kavrin::test::makePeImage(options);
    kavrin::test::putLe(image, 0x80 + 22, 0x22, 2);
    return image;
}

// A packable stub in `dir`.
inline fs::path writeStub(const fs::path& dir, const std::string& image = stubImage()) {
    writeText(dir / "stub.exe", image);
    return dir / "stub.exe";
}

inline BuildRequest requestFor(const fs::path& dir, const fs::path& project) {
    writeText(dir / "bin" / "kavrin-runtime.jar", "PK runtime stand-in");
    BuildRequest request;
    request.project = project;
    request.output = dir / "out.exe";
    request.stub = dir / "stub.exe";
    request.builderDirectory = dir / "bin";
    if (!fs::exists(dir / "stub.exe")) writeStub(dir);
    return request;
}

// Exit code and message of the refusal body must end in; {0, "(no error)"} when it returned.
template <class Body>
std::pair<int, std::string> refusalOf(Body&& body) {
    try {
        body();
    } catch (const PackError& error) {
        return {error.exitCode, error.what()};
    }
    return {0, "(no error)"};
}
// The message of a refusal for bad input (its exit code checked).
template <class Body>
std::string badInputRefusal(Body&& body) {
    const auto [code, message] = refusalOf(std::forward<Body>(body));
    EXPECT_TRUE(code == 0 || code == kExitBadInput) << code << ": " << message;  // 0: accepted
    return message;
}
inline std::pair<int, std::string> buildFailure(const BuildRequest& request) {
    return refusalOf([&] { buildExecutable(request); });
}

struct PackRun {
    int exitCode;
    std::string out, err;
};

// Runs the built kavrin-pack with shell-quoted arguments.
inline PackRun runPack(const std::string& arguments, const fs::path& scratch) {
    fs::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    std::string command =
        std::string("'") + KAVRIN_PACK_EXE + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(command.c_str());
    PackRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", ""};
    run.out = readText(out);
    run.err = readText(err);
    return run;
}

inline std::map<int32_t, std::string> narrowMap(const ConfigBlock& block) {
    std::map<int32_t, std::string> map;
    for (const auto& [key, text] : block.narrow) map[key] = text;
    return map;
}

}  // namespace kavrin::pack::test
