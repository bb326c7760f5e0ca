#include "files/Extraction.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

#include "config/Lists.h"
#include "config/Config.h"
#include "config/ConfigBlock.h"
#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/DeletionQueue.h"
#include "files/TempFiles.h"

namespace kavrin {

namespace {

constexpr size_t kChunkSize = 8192;

bool isReservedDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

// Names the extraction directory by the temporary-file name with "_dir" and a random number.
std::string makeExtractionDirectoryName(Context& ctx) {
    const std::string tempFile = createTempFileName(ctx);
    if (tempFile.empty()) reportFatalKey(ctx, key::kMsgInternalError, "7");
    ctx.os.fs.deleteFile(tempFile);
    ctx.os.clock.seedRandom(static_cast<uint32_t>(ctx.os.clock.timeSeconds()));
    return tempFile + "_dir" + std::to_string(ctx.os.clock.random());
}

// Refuses, before anything is written, a name that would leave the extraction directory.
void checkIncludedNames(Context& ctx, const std::vector<std::string>& names, size_t count) {
    for (size_t i = 0; i < names.size() && i < count; ++i) {
        if (!isSafeIncludedFileName(names[i])) {
            logError(ctx, "Refusing included file name %s", names[i].c_str());
            reportFatalKey(ctx, key::kMsgInternalError, "11");
        }
    }
}

// The stored bytes are XOR 0xA7 (its own inverse). Eight bytes at a time: a byte loop
// built for size costs about as much as the file I/O itself on large files.
void restoreContent(char* data, size_t count) {
    constexpr uint64_t kWordMask = 0x0101010101010101ull * kIncludedXor;
    size_t i = 0;
    for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
        uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        word ^= kWordMask;
        std::memcpy(data + i, &word, sizeof word);
    }
    xorIncluded(data + i, count - i);
}

}  // namespace

bool isSafeIncludedFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find_first_of("\\/:") != std::string::npos) return false;
    return !isReservedDeviceName(name);
}

int extractIncludedFiles(Context& ctx) {
    logInfo(ctx, "extracting files");
    const int count = getConfigInt(ctx, key::kIncludedCount);
    logInfo(ctx, "Included files: %d", count);
    if (count <= 0) {
        ctx.extractionDirectory.clear();
        return 0;
    }

    auto executable = openOwnExecutable(ctx);
    const std::vector<std::string> names = splitList(getConfigString(ctx, key::kIncludedNames), ';');
    checkIncludedNames(ctx, names, static_cast<size_t>(count));
    if (!executable->seek(ctx.configEndPosition)) {
        logError(ctx, "SetFilePointer failed %u", ctx.os.fs.lastError());
        return 1;
    }

    const std::string directory = makeExtractionDirectoryName(ctx);
    ctx.extractionDirectory = directory;
    logInfo(ctx, "Temp dir: %s", directory.c_str());
    if (!ctx.os.fs.createDirectory(directory)) reportFatalKey(ctx, key::kMsgInternalError, "7");

    for (size_t i = 0; i < names.size() && i < static_cast<size_t>(count); ++i) {
        const std::string target = directory + "\\" + names[i];
        if (int result = extractIncludedFile(ctx, *executable, target); result != 0) {
            logError(ctx, "Failed to extract %s", target.c_str());
            emptyDirectory(ctx, directory);
            ctx.os.fs.removeDirectory(directory);
            return result;
        }
        // Held until the process ends so no one can delete what the application uses.
        // An empty included file has no file on disk, so this open fails harmlessly.
        ctx.os.fs.openAndKeep(target, FileAccess::Read, FileShare::ReadWrite);
    }

    registerDirectoryForCleanup(ctx, directory);
    ctx.unextractedPosition = static_cast<int32_t>(executable->position());
    executable.reset();
    logInfo(ctx, "extracting files done");
    return 0;
}

int extractIncludedFile(Context& ctx, File& executable, const std::string& target) {
    const int64_t length = readLong(ctx, executable);
    logInfo(ctx, "extracting %s (size: %lld)", target.c_str(), static_cast<long long>(length));
    if (length <= 0) return 0;

    auto output = ctx.os.fs.openFile(target, FileAccess::Write, FileShare::None, FileDisposition::CreateAlways);
    if (!output) reportFatalKey(ctx, key::kMsgInternalError, "11");
    return copyIncludedData(ctx, executable, *output, length);
}

int copyIncludedData(Context& ctx, File& executable, File& target, int64_t count) {
    std::vector<char> buffer(kChunkSize);  // one buffer for the whole copy
    int64_t copied = 0;
    while (copied < count) {
        const size_t wanted = static_cast<size_t>(std::min<int64_t>(kChunkSize, count - copied));
        const IoResult read = executable.read(buffer.data(), wanted);
        if (!read.ok || read.bytes == 0) {
            logError(ctx, "ReadFile failed %d %d %lld", static_cast<int>(read.bytes), static_cast<int>(read.error),
                     static_cast<long long>(copied));
            return 1;
        }
        restoreContent(buffer.data(), read.bytes);
        size_t written = 0;
        while (written < read.bytes) {
            const IoResult write = target.write(buffer.data() + written, read.bytes - written);
            // A write that reports success but moves nothing would loop forever; treat it as failed.
            if (!write.ok || write.bytes == 0) {
                logError(ctx, "WriteFile failed %d %d", static_cast<int>(read.bytes - written),
                         static_cast<int>(write.error));
                return 2;
            }
            written += write.bytes;
        }
        copied += static_cast<int64_t>(read.bytes);
    }
    return 0;
}

}  // namespace kavrin
