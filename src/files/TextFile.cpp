#include "files/TextFile.h"

#include <algorithm>

namespace kavrin {

std::optional<std::string> readFileBytes(Process& ctx, const std::string& path, size_t maxBytes) {
    auto file = ctx.os.fs.openFile(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
    if (!file) return std::nullopt;
    constexpr size_t kChunk = 4096;
    std::string raw;
    while (raw.size() < maxBytes) {
        const size_t at = raw.size();
        raw.resize(at + std::min(kChunk, maxBytes - at));
        const IoResult r = file->read(raw.data() + at, raw.size() - at);
        raw.resize(at + (r.ok ? r.bytes : 0));
        if (!r.ok || r.bytes == 0) break;
    }
    return raw;
}

namespace {

std::string textModeContent(std::string_view raw) {
    raw = raw.substr(0, raw.find('\x1a'));
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text.push_back(raw[i]);
    }
    return text;
}

}  // namespace

TextModeReader::TextModeReader(std::string_view raw, size_t lineLimit)
    : text_(textModeContent(raw)), lineLimit_(lineLimit) {}

std::optional<std::string> TextModeReader::readLine() {
    if (position_ >= text_.size()) return std::nullopt;
    size_t end = text_.find('\n', position_);
    end = (end == std::string::npos) ? text_.size() : end + 1;
    if (end - position_ > lineLimit_) end = position_ + lineLimit_;
    std::string line = text_.substr(position_, end - position_);
    position_ = end;
    return line;
}

}  // namespace kavrin
