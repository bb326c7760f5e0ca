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

std::optional<std::string> fgetsLine(std::string_view text, size_t& position, size_t limit) {
    if (position >= text.size()) return std::nullopt;
    size_t end = text.find('\n', position);
    end = (end == std::string_view::npos) ? text.size() : end + 1;
    if (end - position > limit) end = position + limit;
    std::string line(text.substr(position, end - position));
    position = end;
    return line;
}

}  // namespace kavrin
