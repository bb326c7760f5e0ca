#include "pack/Build.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/ConfigBlock.h"
#include "pack/FileIo.h"
#include "pack/PackError.h"
#include "pack/Project.h"
#include "pack/Stub.h"

namespace kavrin::pack {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kStubName = "kavrin-service.exe";

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (!fs::exists(a, ec) || !fs::exists(b, ec)) return false;
    bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

uint64_t fileSizeOf(const IncludedFile& file) {
    std::error_code ec;
    uint64_t size = fs::file_size(file.source, ec);
    if (ec) failIo(displayPath(file.source) + ": cannot read included file: " + ec.message());
    return size;
}

// Streams one included-file record: the 8-byte length, then the content XOR 0xA7.
void writeIncluded(AtomicOutput& output, const IncludedFile& file, uint64_t size) {
    std::string header;
    appendLe64(header, size);
    output.write(header);
    std::FILE* input = std::fopen(file.source.string().c_str(), "rb");
    if (!input) failIo(displayPath(file.source) + ": cannot open included file: " + std::strerror(errno));
    std::string chunk(65536, '\0');
    uint64_t copied = 0;
    size_t count = 0;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), input)) > 0) {
        xorIncluded(chunk.data(), count);
        output.write(std::string_view(chunk.data(), count));
        copied += count;
    }
    bool failed = std::ferror(input) != 0;
    std::fclose(input);
    if (failed || copied != size)
        failIo(displayPath(file.source) + ": included file could not be read whole (it changed while packing?)");
}

}  // namespace

std::optional<fs::path> findDefaultStub(const fs::path& builderDirectory) {
    for (const fs::path& candidate :
         {builderDirectory / kStubName, builderDirectory / ".." / ".." / "windows" / "bin" / kStubName}) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal();
    }
    return std::nullopt;
}

BuildResult buildExecutable(const BuildRequest& request) {
    BuildResult result;
    Project project = loadProject(request.project,
                                  {request.runtimeJar, request.builderDirectory, request.classPath, request.includes});
    result.warnings = project.warnings;

    if (request.stub) {
        result.stub = *request.stub;
    } else if (auto found = findDefaultStub(request.builderDirectory)) {
        result.stub = *found;
    } else {
        failBadInput("no stub given and " + std::string(kStubName) + " not found beside kavrin-pack (" +
                     displayPath(request.builderDirectory) + "); pass --stub STUB.exe");
    }
    result.output = request.output ? *request.output : fs::path(request.project).replace_extension(".exe");
    if (sameFile(result.output, result.stub))
        failBadInput(displayPath(result.output) + ": the output would overwrite the stub " + displayPath(result.stub));
    if (sameFile(result.output, request.project))
        failBadInput(displayPath(result.output) + ": the output would overwrite the project file");
    for (const auto& file : project.files)
        if (sameFile(result.output, file.source))
            failBadInput(displayPath(result.output) + ": the output would overwrite the included file " + file.name);

    std::string stub = readWholeFile(result.stub, "stub");
    result.blockOffset = checkStub(stub, displayPath(result.stub));
    std::string block = encodeConfigBlock(project.block);
    result.blockSize = block.size();

    std::vector<uint64_t> sizes;
    uint64_t total = stub.size() + block.size();
    for (const auto& file : project.files) {
        sizes.push_back(fileSizeOf(file));
        total += 8 + sizes.back();
    }
    if (total > kMaxExecutableSize)
        failBadInput(displayPath(result.output) + ": the executable would have " + std::to_string(total) +
                     " bytes; the launcher addresses at most " + std::to_string(kMaxExecutableSize));

    AtomicOutput output(result.output);
    output.write(stub);
    output.write(block);
    for (size_t i = 0; i < project.files.size(); ++i) writeIncluded(output, project.files[i], sizes[i]);
    output.commit();
    result.fileSize = total;
    result.includedFiles = project.files.size();
    return result;
}

}  // namespace kavrin::pack
