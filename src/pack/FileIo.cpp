#include "pack/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#include "pack/PackError.h"

namespace kavrin::pack {
namespace fs = std::filesystem;

std::string displayPath(const fs::path& path) { return path.generic_string(); }

namespace {

// A new file only: never one, or a link, that someone placed under the name first.
std::FILE* createExclusively(const fs::path& path) {
#ifdef _WIN32
    const int fd = ::_open(path.string().c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = ::_fdopen(fd, "wb");
    if (!file) ::_close(fd);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) ::close(fd);
#endif
    return file;
}

}  // namespace

std::string readWholeFile(const fs::path& path, std::string_view what) {
    std::error_code ec;
    auto status = fs::status(path, ec);
    if (!fs::exists(status)) failBadInput(displayPath(path) + ": " + std::string(what) + " does not exist");
    if (fs::is_directory(status))
        failBadInput(displayPath(path) + ": " + std::string(what) + " is a directory, not a file");
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (!file) failIo(displayPath(path) + ": cannot open " + std::string(what) + ": " + std::strerror(errno));
    std::string content;
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, count);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) failIo(displayPath(path) + ": cannot read " + std::string(what));
    return content;
}

AtomicOutput::AtomicOutput(fs::path target) : target_(std::move(target)) {
    fs::path directory = target_.parent_path();
    if (directory.empty()) directory = ".";
    std::random_device random;
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
        temporary_ =
            directory / ("." + target_.filename().string() + "." + std::to_string(random() % 1000000) + ".tmp");
        file_ = createExclusively(temporary_);
        if (!file_ && errno != EEXIST) break;
    }
    if (!file_)
        failIo(displayPath(target_) + ": cannot create a file in " + displayPath(directory) + ": " +
               std::strerror(errno));
}

AtomicOutput::~AtomicOutput() {
    if (file_) std::fclose(file_);
    if (!committed_) {
        std::error_code ec;
        fs::remove(temporary_, ec);
    }
}

void AtomicOutput::write(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        failIo(displayPath(target_) + ": write failed: " + std::strerror(errno));
}

void AtomicOutput::commit() {
    int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) failIo(displayPath(target_) + ": write failed: " + std::strerror(errno));
    std::error_code ec;
    fs::rename(temporary_, target_, ec);
    if (ec) failIo(displayPath(target_) + ": cannot replace the file: " + ec.message());
    committed_ = true;
}

void writeFileAtomically(const fs::path& path, std::string_view bytes) {
    AtomicOutput output(path);
    output.write(bytes);
    output.commit();
}

}  // namespace kavrin::pack
