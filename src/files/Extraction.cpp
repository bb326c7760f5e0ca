#include "files/Extraction.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "config/CarriedNames.h"
#include "config/Config.h"
#include "config/ConfigBlock.h"
#include "config/Keys.h"
#include "config/Lists.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/DeletionQueue.h"
#include "files/Paths.h"
#include "files/TempFiles.h"
#include "platform/Ascii.h"

namespace kavrin {

namespace {

constexpr size_t kChunkSize = 8192;

constexpr int kNameAttempts = 16;
constexpr int kTakeAttempts = 4;  // other applications' directories share the queue

bool alreadyExists(uint32_t error) { return error == win32err::kAlreadyExists || error == win32err::kFileExists; }

// Creates the extraction directory under a name drawn from the cryptographic generator,
// readable and writable only by SYSTEM, Administrators and this account: no one else
// can foresee the name, claim it first, or put files into it.
std::string createExtractionDirectory(Process& ctx, const Config& config) {
    const std::string temp = getTempDirectory(ctx);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        uint16_t draw[2] = {};
        if (!ctx.os.clock.secureRandom(draw, sizeof draw)) {
            logError(ctx, "No random numbers for the extraction directory");
            break;
        }
        const std::string directory = extractionDirectoryName(temp, draw[0], draw[1]);
        logInfo(ctx, "Temp dir: %s", directory.c_str());
        if (ctx.os.fs.createPrivateDirectory(directory)) return directory;
        const uint32_t error = ctx.os.fs.lastError();
        if (!alreadyExists(error)) {
            logError(ctx, "CreateDirectory failed %u", error);
            break;
        }
    }
    reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kExtractionDirectory);
}

// What is left of a failed extraction goes now, or with the next run's queue.
void discardExtractionDirectory(Process& ctx, const std::string& directory) {
    emptyDirectory(ctx, directory);
    ctx.os.fs.removeDirectory(directory);
    if (fileExists(ctx, directory)) scheduleDeletion(ctx, directory, kDeleteDirValue);
}

// Refuses, before anything is written, a name that would leave the extraction directory.
void checkIncludedNames(Process& ctx, const Config& config, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (!isSafeIncludedFileName(name)) {
            logError(ctx, "Refusing included file name %s", name.c_str());
            reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kIncludedFile);
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

// Exactly count bytes, or false.
bool readFully(File& file, char* buffer, size_t count) {
    for (size_t done = 0; done < count;) {
        const IoResult read = file.read(buffer + done, count - done);
        if (!read.ok || read.bytes == 0) return false;
        done += read.bytes;
    }
    return true;
}

bool sameContent(File& executable, File& file, int64_t count) {
    std::vector<char> carried(kChunkSize);
    std::vector<char> present(kChunkSize);
    for (int64_t compared = 0; compared < count;) {
        const size_t wanted = static_cast<size_t>(std::min<int64_t>(kChunkSize, count - compared));
        if (!readFully(executable, carried.data(), wanted) || !readFully(file, present.data(), wanted)) return false;
        restoreContent(carried.data(), wanted);
        if (std::memcmp(carried.data(), present.data(), wanted) != 0) return false;
        compared += static_cast<int64_t>(wanted);
    }
    return true;
}

// `directory` taken as this start's when it holds exactly what extraction would write:
// the carried files (an empty one has no file), byte for byte, and nothing else, in a
// directory nobody but this account, SYSTEM and Administrators can change, and that no
// running process holds. Each file is compared through the handle that then stays open
// and denies writing, so what was compared is what the JVM reads. Reads the carried
// stream from where `executable` stands.
std::optional<Extraction> takeDirectory(Process& ctx, File& executable, const std::vector<std::string>& names,
                                        const std::string& directory) {
    const std::optional<PathKind> kind = ctx.os.fs.pathKind(directory);
    if (!kind || !kind->directory || kind->link) return std::nullopt;
    std::map<std::string, uint64_t> present;  // lower-cased name -> size
    for (const FindEntry& entry : ctx.os.fs.find(directory + "\\*")) {
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.isDirectory || entry.isLink) return std::nullopt;
        present[lowerAscii(entry.name)] = entry.size;
    }
    if (!ctx.os.fs.isPrivateDirectory(directory)) return std::nullopt;
    Extraction taken;
    std::vector<std::unique_ptr<File>> held;
    for (const std::string& name : names) {
        const int64_t length = readLong(ctx, executable);
        const auto match = present.find(lowerAscii(name));
        if (length <= 0) {
            if (match != present.end()) return std::nullopt;
            continue;
        }
        if (match == present.end() || match->second != static_cast<uint64_t>(length)) return std::nullopt;
        auto file = ctx.os.fs.openFile(directory + "\\" + name, FileAccess::Read, FileShare::Read,
                                       FileDisposition::OpenExisting);
        if (!file || !sameContent(executable, *file, length)) return std::nullopt;
        present.erase(match);  // a name carried twice then fails, as writing it twice would
        held.push_back(std::move(file));
        taken.files.push_back(name);
    }
    // Not while another process uses it: its files would be shared scratch space.
    if (!present.empty() || !ctx.os.fs.keepDirectoryNobodyHolds(directory)) return std::nullopt;
    for (auto& file : held) ctx.os.fs.keep(std::move(file));
    taken.directory = directory;
    taken.unextractedPosition = static_cast<int32_t>(executable.position());
    return taken;
}

// The newest few queued directories of ours, newest first: the last start's is the last
// one queued. Each try reads the carried stream from its start again.
std::optional<Extraction> takeEarlierExtraction(Process& ctx, const Config& config, File& executable,
                                                const std::vector<std::string>& names) {
    const std::vector<std::string> queued = queuedDirectories(ctx);
    if (queued.empty()) return std::nullopt;
    // Other starts take directories under the same lock: the check that nobody holds one
    // and holding it are then one step.
    const std::unique_ptr<NamedLock> lock = lockDeletionQueue(ctx);
    if (!lock) return std::nullopt;
    int tried = 0;
    for (auto directory = queued.rbegin(); directory != queued.rend() && tried < kTakeAttempts; ++directory, ++tried) {
        if (!executable.seek(config.endPosition())) return std::nullopt;
        if (auto taken = takeDirectory(ctx, executable, names, *directory)) return taken;
    }
    return std::nullopt;
}

}  // namespace

bool isSafeIncludedFileName(const std::string& name) { return !carriedNameProblem(name); }

std::string extractionDirectoryName(const std::string& tempDirectory, uint16_t hex, uint16_t number) {
    const std::string separator = !tempDirectory.empty() && tempDirectory.back() == '\\' ? "" : "\\";
    // The shape a temporary file name gave it before: 1 to 4 hex digits (never 0), 0..32767.
    return tempDirectory + separator +
           formatText("kvr%X.tmp_dir%d", hex == 0 ? 1u : static_cast<unsigned>(hex), static_cast<int>(number & 0x7FFF));
}

ExtractionResult extractIncludedFiles(Process& ctx, const Config& config) {
    logInfo(ctx, "extracting files");
    const int count = getConfigInt(config, key::kIncludedCount);
    logInfo(ctx, "Included files: %d", count);
    ExtractionResult result;
    if (count <= 0) return result;

    auto executable = takeOwnExecutable(ctx);
    std::vector<std::string> names = splitList(getConfigString(config, key::kIncludedNames), ';');
    if (names.size() > static_cast<size_t>(count)) names.resize(static_cast<size_t>(count));
    checkIncludedNames(ctx, config, names);
    if (getConfigInt(config, key::kReuseExtraction) != 0) {
        if (std::optional<Extraction> taken = takeEarlierExtraction(ctx, config, *executable, names)) {
            logInfo(ctx, "Temp dir of an earlier start, unchanged: %s", taken->directory.c_str());
            // Already queued by the start that made it; held, so no queue run removes it.
            ctx.heldDirectories.push_back(taken->directory);
            result.extraction = std::move(*taken);
            return result;
        }
    }
    if (!executable->seek(config.endPosition())) {
        logError(ctx, "SetFilePointer failed %u", ctx.os.fs.lastError());
        result.status = 1;
        return result;
    }

    const std::string directory = createExtractionDirectory(ctx, config);
    result.extraction.directory = directory;

    for (const std::string& name : names) {
        const std::string target = directory + "\\" + name;
        if (int status = extractIncludedFile(ctx, config, *executable, target); status != 0) {
            logError(ctx, "Failed to extract %s", target.c_str());
            discardExtractionDirectory(ctx, directory);
            result.status = status;
            return result;
        }
        // Held until the process ends so no one can change or delete what the application
        // uses. An empty included file has no file on disk, so this open fails harmlessly.
        if (ctx.os.fs.openAndKeep(target, FileAccess::Read, FileShare::Read)) result.extraction.files.push_back(name);
    }

    // The directory itself is held too, so no queue run removes it while it is in use
    // (it may be empty); then it is queued at once, so a crash or a kill leaves no copy
    // behind. Queued only now: the held files keep any queue run from emptying it.
    ctx.os.fs.openAndKeep(directory, FileAccess::Read, FileShare::ReadWrite);
    ctx.heldDirectories.push_back(directory);
    scheduleDeletion(ctx, directory, kDeleteDirValue);
    result.extraction.unextractedPosition = static_cast<int32_t>(executable->position());
    executable.reset();
    logInfo(ctx, "extracting files done");
    return result;
}

int extractIncludedFile(Process& ctx, const Config& config, File& executable, const std::string& target) {
    const int64_t length = readLong(ctx, executable);
    logInfo(ctx, "extracting %s (size: %lld)", target.c_str(), static_cast<long long>(length));
    if (length <= 0) return 0;

    // Never an existing file: whoever made it could read or change what the JVM loads.
    auto output = ctx.os.fs.openFile(target, FileAccess::Write, FileShare::None, FileDisposition::CreateNew);
    if (!output && alreadyExists(ctx.os.fs.lastError())) {
        logError(ctx, "%s exists already", target.c_str());
        return 2;
    }
    if (!output) reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kIncludedFile);
    return copyIncludedData(ctx, executable, *output, length);
}

int copyIncludedData(Process& ctx, File& executable, File& target, int64_t count) {
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
