#include "files/Extraction.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

#include "config/CarriedNames.h"
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

// Names the extraction directory by the temporary-file name with "_dir" and a random number.
std::string makeExtractionDirectoryName(Context& ctx) {
    const std::string tempFile = createTempFileName(ctx);
    if (tempFile.empty()) reportFatalKey(ctx, key::kMsgInternalError, internalError::kExtractionDirectory);
    ctx.os.fs.deleteFile(tempFile);
    ctx.os.clock.seedRandom(static_cast<uint32_t>(ctx.os.clock.timeSeconds()));
    return tempFile + "_dir" + std::to_string(ctx.os.clock.random());
}

// Refuses, before anything is written, a name that would leave the extraction directory.
void checkIncludedNames(Context& ctx, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (!isSafeIncludedFileName(name)) {
            logError(ctx, "Refusing included file name %s", name.c_str());
            reportFatalKey(ctx, key::kMsgInternalError, internalError::kIncludedFile);
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

bool isSafeIncludedFileName(const std::string& name) { return !carriedNameProblem(name); }

ExtractionResult extractIncludedFiles(Context& ctx) {
    logInfo(ctx, "extracting files");
    const int count = getConfigInt(ctx, key::kIncludedCount);
    logInfo(ctx, "Included files: %d", count);
    ExtractionResult result;
    if (count <= 0) return result;

    auto executable = openOwnExecutable(ctx);
    std::vector<std::string> names = splitList(getConfigString(ctx, key::kIncludedNames), ';');
    if (names.size() > static_cast<size_t>(count)) names.resize(static_cast<size_t>(count));
    checkIncludedNames(ctx, names);
    if (!executable->seek(ctx.configEndPosition)) {
        logError(ctx, "SetFilePointer failed %u", ctx.os.fs.lastError());
        result.status = 1;
        return result;
    }

    const std::string directory = makeExtractionDirectoryName(ctx);
    result.extraction.directory = directory;
    logInfo(ctx, "Temp dir: %s", directory.c_str());
    if (!ctx.os.fs.createDirectory(directory)) reportFatalKey(ctx, key::kMsgInternalError, internalError::kExtractionDirectory);

    for (const std::string& name : names) {
        const std::string target = directory + "\\" + name;
        if (int status = extractIncludedFile(ctx, *executable, target); status != 0) {
            logError(ctx, "Failed to extract %s", target.c_str());
            emptyDirectory(ctx, directory);
            ctx.os.fs.removeDirectory(directory);
            result.status = status;
            return result;
        }
        // Held until the process ends so no one can delete what the application uses.
        // An empty included file has no file on disk, so this open fails harmlessly.
        ctx.os.fs.openAndKeep(target, FileAccess::Read, FileShare::ReadWrite);
    }

    registerDirectoryForCleanup(ctx, directory);
    result.extraction.names = std::move(names);
    result.extraction.unextractedPosition = static_cast<int32_t>(executable->position());
    executable.reset();
    logInfo(ctx, "extracting files done");
    return result;
}

int extractIncludedFile(Context& ctx, File& executable, const std::string& target) {
    const int64_t length = readLong(ctx, executable);
    logInfo(ctx, "extracting %s (size: %lld)", target.c_str(), static_cast<long long>(length));
    if (length <= 0) return 0;

    auto output = ctx.os.fs.openFile(target, FileAccess::Write, FileShare::None, FileDisposition::CreateAlways);
    if (!output) reportFatalKey(ctx, key::kMsgInternalError, internalError::kIncludedFile);
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
