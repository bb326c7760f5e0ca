#include "config/Config.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "config/BlockParse.h"
#include "config/ConfigBlock.h"
#include "config/ExePath.h"
#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"

namespace kavrin {

namespace {

enum class ErrorCode { Print, Hide };
// Reads exactly count bytes; a failed or short read is fatal with the primitive's name.
std::string readExact(Process& ctx, File& file, size_t count, const char* primitive, ErrorCode errorCode) {
    std::string buffer(count, '\0');
    const IoResult r = count ? file.read(buffer.data(), count) : IoResult{true, 0, 0};
    if (!r.ok || r.bytes < count) {
        if (errorCode == ErrorCode::Print) ctx.os.console.out(formatText("error %u\n", r.error));
        reportFatal(ctx, std::string("Internal Error: ") + primitive);
    }
    return buffer;
}

uint64_t littleEndian(const std::string& bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes.size(); ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
    return v;
}

// The headers and the block are read field by field, a few bytes each: through this, one
// system call per chunk instead of one per field (a block of defaults holds hundreds).
// Seeks within what was read cost nothing; reads only, positions as the file's own.
// Chunks start at 4 KB after a seek and double up to 64 KB while reading goes on: the
// headers and a small block touch a page or two of the buffer, not sixteen (a fresh page
// costs more than a read).
class ReadAheadFile final : public File {
public:
    explicit ReadAheadFile(File& inner) : inner_(inner), start_(inner.position()) {}

    bool seek(uint32_t offset) override {
        if (offset >= start_ && offset - start_ <= size_) {
            cursor_ = offset - start_;
            return true;
        }
        size_ = 0;
        cursor_ = 0;
        next_ = kFirstChunk;
        start_ = offset;
        return inner_.seek(offset);
    }
    uint32_t position() override { return start_ + static_cast<uint32_t>(cursor_); }
    IoResult read(void* buffer, size_t count) override {
        auto* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < count) {
            if (cursor_ == size_) {
                // The next chunk starts where this one ended; the inner file is already there.
                start_ += static_cast<uint32_t>(size_);
                cursor_ = 0;
                const size_t chunk = next_;
                next_ = std::min(next_ * 2, kChunk);
                const IoResult got = inner_.read(buffer_.get(), chunk);
                size_ = got.ok ? std::min(got.bytes, chunk) : 0;
                if (!got.ok) return {false, done, got.error};
                if (got.bytes == 0) return {true, done, got.error};  // the end: a short read, as the file said it
            }
            const size_t take = std::min(count - done, size_ - cursor_);
            std::memcpy(out + done, buffer_.get() + cursor_, take);
            cursor_ += take;
            done += take;
        }
        return {true, done, 0};
    }
    IoResult write(const void*, size_t) override { return {false, 0, 0}; }

private:
    static constexpr size_t kFirstChunk = 4 * 1024;
    static constexpr size_t kChunk = 64 * 1024;
    File& inner_;
    uint32_t start_;                                    // file offset of buffer_[0]
    std::unique_ptr<char[]> buffer_{new char[kChunk]};  // uninitialised: only what is read is touched
    size_t size_ = 0;                                   // bytes read from start_ on
    size_t cursor_ = 0;
    size_t next_ = kFirstChunk;
};

// Adapts the open executable to the shared table-reading loop.
struct FileSource {
    Process& ctx;
    File& file;
    int32_t readInt() { return kavrin::readInt(ctx, file); }
    std::string readString() { return kavrin::readString(ctx, file); }
    std::u16string readWString() { return kavrin::readWString(ctx, file); }
};

}  // namespace

int16_t readShort(Process& ctx, File& file) {
    return static_cast<int16_t>(littleEndian(readExact(ctx, file, 2, "readShort", ErrorCode::Print)));
}

int32_t readInt(Process& ctx, File& file) {
    return static_cast<int32_t>(littleEndian(readExact(ctx, file, 4, "readInt", ErrorCode::Print)));
}

int64_t readLong(Process& ctx, File& file) {
    return static_cast<int64_t>(littleEndian(readExact(ctx, file, 8, "readLong", ErrorCode::Print)));
}

// A negative, oversized or (wide) odd length is refused before anything is allocated.
std::string readString(Process& ctx, File& file) {
    const int32_t length = readInt(ctx, file);
    if (!detail::narrowLengthOk(length, kMaxNarrowValueBytes)) reportFatal(ctx, "Internal Error: readString");
    return readExact(ctx, file, static_cast<size_t>(length), "readString", ErrorCode::Hide);
}

std::u16string readWString(Process& ctx, File& file) {
    const int32_t length = readInt(ctx, file);
    if (!detail::wideLengthOk(length, kMaxWideValueUnits)) reportFatal(ctx, "Internal Error: readWString");
    return detail::utf16FromLe(readExact(ctx, file, static_cast<size_t>(length), "readWString", ErrorCode::Hide));
}

std::unique_ptr<File> takeOwnExecutable(Process& ctx) {
    if (ctx.ownExecutable) return std::move(ctx.ownExecutable);
    return openOwnExecutable(ctx);
}

std::unique_ptr<File> openOwnExecutable(Process& ctx) {
    const std::string& path = getExecutablePath(ctx);
    auto file = ctx.os.fs.openFile(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
    if (!file) {
        logError(ctx, "Could not open %s", path.c_str());
        reportFatal(ctx, "Error opening media file. Please move this file to an ascii-only path like c:\\");
    }
    return file;
}

void locateConfigBlock(Process& ctx, File& file) {
    // A failed seek shows up as the short read that follows it.
    file.seek(60);
    const int32_t pe = readInt(ctx, file);
    file.seek(static_cast<uint32_t>(pe) + 6u);
    const int32_t sections = readShort(ctx, file);
    logInfo(ctx, "number of sections: %d", sections);
    file.seek(static_cast<uint32_t>(pe) + 20u);
    const int32_t optionalSize = readShort(ctx, file);
    logInfo(ctx, "size of optional headers: %d", optionalSize);
    // The section table starts at pe+24+optionalSize; headers are 40 bytes each.
    const uint32_t lastHeader =
        static_cast<uint32_t>(pe) + static_cast<uint32_t>(optionalSize) + 40u * static_cast<uint32_t>(sections) - 16u;
    logInfo(ctx, "resSectionTableStart: %d", static_cast<int32_t>(lastHeader));
    file.seek(lastHeader + 16u);
    const uint32_t rawSize = static_cast<uint32_t>(readInt(ctx, file));
    file.seek(lastHeader + 20u);
    const uint32_t rawOffset = static_cast<uint32_t>(readInt(ctx, file));
    logInfo(ctx, "rawDataSize: %d, rawDataOffset: %d", static_cast<int32_t>(rawSize), static_cast<int32_t>(rawOffset));
    file.seek(rawOffset + rawSize);
    if (static_cast<uint32_t>(readInt(ctx, file)) != kConfigMagic) reportFatal(ctx, "Internal Error: magic");
}

Config readConfig(Process& ctx) {
    auto file = openOwnExecutable(ctx);
    ReadAheadFile readAhead(*file);
    locateConfigBlock(ctx, readAhead);
    FileSource source{ctx, readAhead};
    ConfigTables tables;
    detail::parseTables(
        source, [&](int32_t key, std::string value) { tables.narrow[key] = std::move(value); },
        [&](int32_t key, std::u16string value) { tables.wide[key] = std::move(value); });
    Config config(std::move(tables), readAhead.position());
    ctx.ownExecutable = std::move(file);
    return config;
}

void configureErrorReporting(Process& ctx, const Config& config) {
    const int type = getConfigInt(config, key::kLauncherType);
    if (type != launcherType::kGui && type != launcherType::kConsoleBox) ctx.fatal.useMessageBox = false;
    ctx.fatal.caption = getConfigString(config, key::kMsgCaption);
}

std::string getConfigString(const Config& config, int32_t key) {
    auto it = config.tables().narrow.find(key);
    return it == config.tables().narrow.end() ? std::string() : it->second;
}

std::u16string getConfigWString(const Config& config, int32_t key) {
    auto it = config.tables().wide.find(key);
    return it == config.tables().wide.end() ? std::u16string() : it->second;
}

int parseConfigInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturate rather than overflow on absurdly long digit runs.
        if (value < 0x7FFFFFFFLL) value = value * 10 + (text[i] - '0');
    }
    if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
    return static_cast<int>(negative ? -value : value);
}

int getConfigInt(const Config& config, int32_t key) { return parseConfigInt(getConfigString(config, key)); }

char configuredFlavour(const Config& config) {
    const auto it = config.tables().narrow.find(key::kFlavour);
    return it == config.tables().narrow.end() || it->second.empty() ? 0 : it->second[0];
}

void showErrorKey(Process& ctx, const Config& config, int32_t messageKey, const std::optional<std::string>& argument) {
    showErrorMessage(ctx, substituteFirstPlaceholder(getConfigString(config, messageKey), argument));
}

void reportFatalKey(Process& ctx, const Config& config, int32_t messageKey,
                    const std::optional<std::string>& argument) {
    reportFatal(ctx, substituteFirstPlaceholder(getConfigString(config, messageKey), argument));
}

}  // namespace kavrin
