#include "pack/MsiBuild.h"

#include <cstdlib>

#include "pack/Build.h"
#include "pack/FileIo.h"
#include "pack/Msi.h"
#include "pack/PackError.h"
#include "pack/Project.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kavrin::pack {
namespace fs = std::filesystem;
namespace {

BuildResult packExecutable(const MsiRequest& request, const fs::path& output) {
    BuildRequest build;
    build.project = request.project;
    build.output = output;
    build.stub = request.stub;
    build.runtimeJar = request.runtimeJar;
    build.builderDirectory = request.builderDirectory;
    build.classPath = request.classPath;
    build.includes = request.includes;
    return buildExecutable(build);
}

#ifndef _WIN32
std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A directory beside the output for the executable, the source and wixl's output;
// removed with everything in it, so a failure leaves nothing behind.
class StagingDirectory {
public:
    explicit StagingDirectory(const fs::path& beside) {
        std::string pattern = (beside / ".kavrin-msi-XXXXXX").string();
        if (!mkdtemp(pattern.data())) failIo(displayPath(beside) + ": cannot create a staging directory");
        path_ = pattern;
    }
    ~StagingDirectory() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void runWixl(const fs::path& source, const fs::path& package, const fs::path& log) {
    const char* configured = std::getenv("KAVRIN_WIXL");
    std::string wixl = configured && *configured ? configured : "wixl";
    std::string command = shellQuoted(wixl) + " -a x64 -o " + shellQuoted(package.string()) + " " +
                          shellQuoted(source.string()) + " >" + shellQuoted(log.string()) + " 2>&1";
    int status = std::system(command.c_str());
    int code = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 127) failIo("wixl not found (install the Debian package wixl, or name the program in KAVRIN_WIXL)");
    std::string output;
    try {
        output = readWholeFile(log, "wixl output");
    } catch (const PackError&) {
    }
    std::error_code ec;
    if (code != 0 || !fs::is_regular_file(package, ec))
        failIo("wixl failed (exit " + std::to_string(code) + "): " + output);
}
#endif

}  // namespace

MsiResult buildMsi(const MsiRequest& request) {
    MsiResult result;
    // Every check first: the project, then its [msi] table.
    Project project = loadProject(request.project, {request.runtimeJar, request.builderDirectory});
    ServiceRegistration service = serviceRegistrationFrom(project.block);
    MsiSettings msi = readMsiSettings(readWholeFile(request.project, "project file"), request.project, service);
    result.files = msi.files.size();
    result.output = request.output ? *request.output
                                   : fs::path(request.project).replace_extension(request.wxsOnly ? ".wxs" : ".msi");
    fs::path directory = result.output.parent_path().empty() ? fs::path(".") : result.output.parent_path();
    std::error_code ec;
    if (fs::exists(result.output, ec) && fs::equivalent(result.output, request.project, ec))
        failBadInput(displayPath(result.output) + ": the output would overwrite the project file");

    if (request.wxsOnly) {
        result.executable = directory / msi.executableName;
        BuildResult build = packExecutable(request, result.executable);
        result.warnings = build.warnings;
        writeFileAtomically(result.output, wixSource(msi, service, result.executable, directory));
        return result;
    }
#ifdef _WIN32
    failBadInput(
        "wixl, which writes the package, does not run on Windows; pass --wxs-only and build the "
        "package from the WiX source with the WiX toolset");
#else
    StagingDirectory staging(directory);
    fs::path executable = staging.path() / msi.executableName;
    BuildResult build = packExecutable(request, executable);
    result.warnings = build.warnings;
    fs::path source = staging.path() / "package.wxs", package = staging.path() / "package.msi";
    writeFileAtomically(source, wixSource(msi, service, executable, staging.path()));
    runWixl(source, package, staging.path() / "wixl.log");
    fs::rename(package, result.output, ec);
    if (ec) failIo(displayPath(result.output) + ": cannot write the package: " + ec.message());
    result.executable = msi.executableName;
    return result;
#endif
}

}  // namespace kavrin::pack
