// File access of the builder. Inputs: a missing file is the user's mistake (exit
// 1), a failing read an I/O failure (exit 2). Outputs are written under a
// temporary name in the target's directory and renamed into place, so a failure
// never leaves a half-written file behind.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace kavrin::pack {

// `what` names the file's role in messages ("stub", "project file"...).
std::string readWholeFile(const std::filesystem::path& path, std::string_view what);

class AtomicOutput {
public:
    explicit AtomicOutput(std::filesystem::path target);
    ~AtomicOutput();  // removes the temporary file unless committed
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    void write(std::string_view bytes);
    void commit();  // close, then rename over the target
    const std::filesystem::path& temporaryPath() const { return temporary_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Display form of a path for messages.
std::string displayPath(const std::filesystem::path& path);

}  // namespace kavrin::pack
