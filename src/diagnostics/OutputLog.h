// A captured output stream written to a file that is rotated by size. Rotation
// happens only where a line starts, so no line is ever split across two files;
// a file therefore ends at most one line past the size limit.
//
// Usage:
//   RotatingOutput out(fs, "C:\\App\\logs\\svc.out.log", 10 * 1024 * 1024, 5);
//   out.write(chunk);   // any piece of the stream, lines may be cut anywhere
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace kavrin {

// "10MB", "512KB", "1GB" or a number of bytes (units in either case); from 1KB to 2GB.
std::optional<uint64_t> parseByteSize(std::string_view text);

class RotatingOutput {
public:
    // onFirstDrop gets the reason (path and error) the first time output is dropped.
    RotatingOutput(FileSystem& fs, std::string path, uint64_t maxSize, unsigned keep,
                   std::function<void(const std::string&)> onFirstDrop = nullptr);
    void write(std::string_view data);
    uint64_t droppedBytes() const { return dropped_; }

    // After a failure the file is tried again once this much more output was dropped.
    static constexpr uint64_t kRetryAfterBytes = 64 * 1024;

private:
    void writePiece(std::string_view piece);
    bool ensureOpen(FileDisposition disposition);
    void rotate();
    void drop(size_t bytes, const std::string& reason);

    FileSystem& fs_;
    const std::string path_;
    const uint64_t maxSize_;
    const unsigned keep_;
    std::function<void(const std::string&)> onFirstDrop_;
    std::unique_ptr<File> file_;
    uint64_t size_ = 0;
    bool atLineStart_ = true;
    uint64_t dropped_ = 0;
    uint64_t droppedSinceTry_ = 0;
    bool triedOnce_ = false;
};

// The launcher's own log files among `entries` (names of the shape mvx_nlog_<hex> or
// mvx_nlog_<hex>_<hex>) beyond the newest `keep`, by last write time, the names of
// anything else left out.
std::vector<std::string> ownLogFilesBeyond(const std::vector<FindEntry>& entries, size_t keep);

}  // namespace kavrin
