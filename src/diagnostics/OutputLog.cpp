#include "diagnostics/OutputLog.h"

#include <algorithm>
#include <charconv>

#include "platform/Ascii.h"

namespace kavrin {

std::optional<uint64_t> parseByteSize(std::string_view text) {
    uint64_t number = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end == text.data()) return std::nullopt;
    const std::string unit = upperAscii(std::string(end, text.data() + text.size()));
    uint64_t scale = 0;
    if (unit.empty()) scale = 1;
    else if (unit == "KB") scale = 1024;
    else if (unit == "MB") scale = 1024 * 1024;
    else if (unit == "GB") scale = 1024 * 1024 * 1024;
    constexpr uint64_t kMax = 2ull * 1024 * 1024 * 1024;
    if (scale == 0 || number > kMax / scale || number * scale < 1024) return std::nullopt;
    return number * scale;
}

RotatingOutput::RotatingOutput(FileSystem& fs, std::string path, uint64_t maxSize, unsigned keep,
                               std::function<void(const std::string&)> onFirstDrop)
    : fs_(fs), path_(std::move(path)), maxSize_(maxSize), keep_(keep), onFirstDrop_(std::move(onFirstDrop)) {}

void RotatingOutput::write(std::string_view data) {
    while (!data.empty()) {
        const size_t newline = data.find('\n');
        const size_t length = newline == std::string_view::npos ? data.size() : newline + 1;
        writePiece(data.substr(0, length));
        data.remove_prefix(length);
    }
}

void RotatingOutput::writePiece(std::string_view piece) {
    if (atLineStart_) {
        if (!file_) ensureOpen(FileDisposition::OpenAlways);
        else if (size_ >= maxSize_) rotate();
    }
    atLineStart_ = piece.back() == '\n';
    if (!file_) return drop(piece.size(), "");
    IoResult result = file_->write(piece.data(), piece.size());
    size_ += result.bytes;
    if (!result.ok || result.bytes != piece.size()) {
        file_.reset();  // a full disk: drop until the next try
        drop(piece.size() - result.bytes, path_ + ": write failed, error " + std::to_string(result.error));
    }
}

bool RotatingOutput::ensureOpen(FileDisposition disposition) {
    if (triedOnce_ && droppedSinceTry_ < kRetryAfterBytes) return false;
    triedOnce_ = true;
    droppedSinceTry_ = 0;
    file_ = fs_.openFile(path_, FileAccess::Write, FileShare::Read, disposition);
    // The directory is made with the first output rather than at every start.
    if (const size_t slash = path_.find_last_of('\\');
        !file_ && fs_.lastError() == win32err::kPathNotFound && slash != std::string::npos) {
        fs_.createDirectory(path_.substr(0, slash));
        file_ = fs_.openFile(path_, FileAccess::Write, FileShare::Read, disposition);
    }
    if (!file_) {
        drop(0, path_ + ": cannot open, error " + std::to_string(fs_.lastError()));
        return false;
    }
    size_ = file_->position();  // appending: the size so far
    return true;
}

void RotatingOutput::rotate() {
    file_.reset();
    // The oldest is overwritten by the one before it; with keep 0 the file is only truncated.
    for (unsigned i = keep_; i > 1; --i)
        fs_.moveFile(path_ + "." + std::to_string(i - 1), path_ + "." + std::to_string(i));
    if (keep_ > 0) fs_.moveFile(path_, path_ + ".1");
    triedOnce_ = false;
    ensureOpen(FileDisposition::CreateAlways);
}

void RotatingOutput::drop(size_t bytes, const std::string& reason) {
    dropped_ += bytes;
    droppedSinceTry_ += bytes;
    if (!reason.empty() && onFirstDrop_) {
        onFirstDrop_(reason);
        onFirstDrop_ = nullptr;
    }
}

namespace {

bool isHexRun(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool isOwnLogName(std::string_view name) {
    constexpr std::string_view kPrefix = "mvx_nlog_";
    if (name.substr(0, kPrefix.size()) != kPrefix) return false;
    name.remove_prefix(kPrefix.size());
    const size_t underscore = name.find('_');
    if (underscore == std::string_view::npos) return isHexRun(name);
    return isHexRun(name.substr(0, underscore)) && isHexRun(name.substr(underscore + 1));
}

}  // namespace

std::vector<std::string> ownLogFilesBeyond(const std::vector<FindEntry>& entries, size_t keep) {
    std::vector<const FindEntry*> own;
    for (const FindEntry& entry : entries)
        if (!entry.isDirectory && isOwnLogName(entry.name)) own.push_back(&entry);
    std::sort(own.begin(), own.end(), [](const FindEntry* a, const FindEntry* b) {
        if (a->lastWrite.value != b->lastWrite.value) return a->lastWrite.value > b->lastWrite.value;
        return a->name > b->name;
    });
    std::vector<std::string> older;
    for (size_t i = keep; i < own.size(); ++i) older.push_back(own[i]->name);
    return older;
}

}  // namespace kavrin
