// kavrin-pack: builds a service executable from a project file and prints back
// what one carries. Exit codes: 0 success, 1 bad input, 2 I/O failure.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "pack/Build.h"
#include "pack/FileIo.h"
#include "pack/Init.h"
#include "pack/MsiBuild.h"
#include "pack/PackError.h"
#include "pack/Readback.h"
#include "pack/Settings.h"

namespace fs = std::filesystem;
using namespace kavrin::pack;

namespace {

// The directory of this program, where the stub and the start classes are looked for.
fs::path builderDirectory(const char* argv0) {
    std::error_code ec;
#ifdef _WIN32
    // The C runtime's full program path: argv[0] may be a bare name found on PATH.
    if (_pgmptr && *_pgmptr) return fs::path(_pgmptr).parent_path();
#else
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.parent_path();
#endif
    return fs::absolute(argv0, ec).parent_path();
}

struct BuildArgs {
    std::string project, output, stub, runtimeJar;
    std::vector<std::string> classPath, includes;
};
struct InspectArgs {
    std::string executable, output, extract;
};
struct InitArgs {
    std::string name, mainClass, output;
    bool force = false, all = false;
};

int runBuild(const BuildArgs& args, const fs::path& home) {
    BuildRequest request;
    request.project = args.project;
    if (!args.output.empty()) request.output = args.output;
    if (!args.stub.empty()) request.stub = args.stub;
    if (!args.runtimeJar.empty()) request.runtimeJar = args.runtimeJar;
    request.builderDirectory = home;
    request.classPath = args.classPath;
    request.includes.assign(args.includes.begin(), args.includes.end());
    BuildResult result = buildExecutable(request);
    for (const auto& warning : result.warnings) std::cerr << warning << "\n";
    std::cout << "wrote " << displayPath(result.output) << " (" << result.fileSize << " bytes): stub "
              << displayPath(result.stub) << ", configuration block of " << result.blockSize << " bytes at offset "
              << result.blockOffset << ", " << result.includedFiles << " included file(s)\n";
    return kExitOk;
}

int runMsi(const MsiRequest& request) {
    MsiResult result = buildMsi(request);
    for (const auto& warning : result.warnings) std::cerr << warning << "\n";
    if (request.wxsOnly)
        std::cout << "wrote " << displayPath(result.output) << " and " << displayPath(result.executable)
                  << "; build the package with the WiX toolset in that directory (WiX 3: candle and light; "
                     "later versions: wix convert first)\n";
    else
        std::cout << "wrote " << displayPath(result.output) << ": " << displayPath(result.executable) << " and "
                  << result.files << " more file(s)\n";
    return kExitOk;
}

int runInspect(const InspectArgs& args) {
    std::string image = readWholeFile(args.executable, "executable");
    Carried carried = readCarried(image, args.executable);
    RenderOptions options;
    options.source = fs::path(args.executable).filename().string();
    if (!args.output.empty()) options.projectDirectory = fs::path(args.output).parent_path();
    if (options.projectDirectory.empty()) options.projectDirectory = ".";
    if (!args.extract.empty()) {
        options.extractDirectory = args.extract;
        extractCarried(image, carried, args.extract);
    }
    std::string text = renderProject(carried, options);
    if (args.output.empty()) std::cout << text;
    else writeFileAtomically(args.output, text);
    return kExitOk;
}

int runInit(const InitArgs& args) {
    std::string text = starterProject(args.name, args.mainClass, args.all);
    if (args.output.empty()) {
        std::cout << text;
        return kExitOk;
    }
    std::error_code ec;
    if (fs::exists(args.output, ec) && !args.force)
        failBadInput(args.output + ": exists already; pass --force to replace it");
    writeFileAtomically(args.output, text);
    std::cout << "wrote " << args.output << "\n";
    return kExitOk;
}

// A first argument that is no option and no command: name the nearest command.
std::optional<std::string> unknownCommand(int argc, char** argv, const CLI::App& app) {
    if (argc < 2 || argv[1][0] == '-') return std::nullopt;
    std::vector<std::string> names;
    for (const auto* command : app.get_subcommands({})) names.push_back(command->get_name());
    std::string word = argv[1];
    if (std::find(names.begin(), names.end(), word) != names.end()) return std::nullopt;
    std::vector<std::string_view> views(names.begin(), names.end());
    std::string message = "kavrin-pack: unknown command '" + word + "'";
    if (auto near = nearestName(word, views)) return message + "; did you mean `" + std::string(*near) + "`?";
    std::string list;
    for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
    return message + " (commands: " + list + ")";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "kavrin-pack: packs a Java service into one Windows executable.\n"
        "Exit codes: 0 success, 1 bad input, 2 I/O failure."};
    app.require_subcommand(1);
    app.set_version_flag("--version", "kavrin-pack " KAVRIN_VERSION);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return "kavrin-pack: " + std::string(error.what()) + "\nRun with --help for more information.\n";
    });

    BuildArgs build;
    auto* buildCommand = app.add_subcommand("build", "Write stub + configuration block + included files");
    buildCommand->add_option("project", build.project, "Project file (TOML)")->required();
    buildCommand->add_option("-o,--output", build.output,
                             "Executable to write (default: the project file's name with .exe)");
    buildCommand->add_option("--stub", build.stub, "Launcher stub (default: kavrin-service.exe beside kavrin-pack)");
    buildCommand->add_option(
        "--runtime-jar", build.runtimeJar,
        "Start classes to carry (default: [files] runtime-jar, else kavrin-runtime.jar beside kavrin-pack)");
    buildCommand->add_option("--class-path", build.classPath,
                             "Class path entry after java.class-path (replaces its default); repeatable");
    buildCommand->add_option("--include", build.includes, "File to carry after files.include; repeatable");

    MsiRequest msi;
    std::string msiProject, msiOutput, msiStub, msiRuntimeJar;
    auto* msiCommand =
        app.add_subcommand("msi", "Write a Windows Installer package that installs and registers the service");
    msiCommand->add_option("project", msiProject, "Project file (TOML) with an [msi] table")->required();
    msiCommand->add_option("-o,--output", msiOutput, "Package to write (default: the project file's name with .msi)");
    msiCommand->add_option("--stub", msiStub, "Launcher stub (default: kavrin-service.exe beside kavrin-pack)");
    msiCommand->add_option("--runtime-jar", msiRuntimeJar, "Start classes to carry, as for build");
    std::vector<std::string> msiIncludes;
    msiCommand->add_option("--class-path", msi.classPath, "Class path entry, as for build; repeatable");
    msiCommand->add_option("--include", msiIncludes, "File to carry, as for build; repeatable");
    msiCommand->add_flag(
        "--wxs-only", msi.wxsOnly,
        "Write the WiX source and the executable it names instead of the package (for the WiX toolset)");

    InspectArgs inspect;
    auto* inspectCommand = app.add_subcommand("inspect", "Print what an executable carries, as a project file");
    inspectCommand->add_option("executable", inspect.executable, "Packed executable")->required();
    inspectCommand->add_option("-o,--output", inspect.output, "Write the project file here instead of standard output");
    inspectCommand->add_option("--extract", inspect.extract, "Also write the included files into this directory");

    InitArgs init;
    auto* initCommand = app.add_subcommand("init", "Write a commented starter project file");
    initCommand->add_option("-n,--name", init.name, "Service name")->required();
    initCommand->add_option("-m,--main-class", init.mainClass, "Application main class, dotted")->required();
    initCommand->add_option("-o,--output", init.output, "File to write (default: standard output)");
    initCommand->add_flag("-f,--force", init.force, "Replace an existing file");
    initCommand->add_flag("--all", init.all, "List every setting, not only those a service needs");

    if (auto message = unknownCommand(argc, argv, app)) {
        std::cerr << *message << "\n";
        return kExitBadInput;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help ends here too, with code 0; every mistake on the command line is bad input.
        return app.exit(error) == 0 ? kExitOk : kExitBadInput;
    }

    try {
        if (*buildCommand) return runBuild(build, builderDirectory(argv[0]));
        if (*inspectCommand) return runInspect(inspect);
        if (*msiCommand) {
            msi.project = msiProject;
            if (!msiOutput.empty()) msi.output = msiOutput;
            if (!msiStub.empty()) msi.stub = msiStub;
            if (!msiRuntimeJar.empty()) msi.runtimeJar = msiRuntimeJar;
            msi.builderDirectory = builderDirectory(argv[0]);
            msi.includes.assign(msiIncludes.begin(), msiIncludes.end());
            return runMsi(msi);
        }
        if (*initCommand) return runInit(init);
    } catch (const PackError& error) {
        std::cerr << "kavrin-pack: " << error.what() << "\n";
        return error.exitCode;
    } catch (const std::exception& error) {
        std::cerr << "kavrin-pack: " << error.what() << "\n";
        return kExitIoFailure;
    }
    return kExitBadInput;
}
