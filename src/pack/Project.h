// Reading a project file (TOML) into the configuration block it describes and
// the list of files the executable carries.
//
// Usage:
//   Project p = loadProject("svc.toml", {.builderDirectory = dirOfKavrinPack});
//   std::string block = encodeConfigBlock(p.block);
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigBlock.h"

namespace kavrin::pack {

// The name the product's start classes are carried under.
inline constexpr std::string_view kRuntimeJarName = "kavrin-runtime.jar";

struct IncludedFile {
    std::filesystem::path source;
    std::string name;  // stored name: the source's base name
};

struct ProjectOptions {
    // Where the start classes come from when the project carries them (by default
    // when it keeps the defaults and names java.main-class) and names no jar
    // itself: this path if given, else kavrin-runtime.jar in builderDirectory.
    std::optional<std::filesystem::path> runtimeJar;
    std::filesystem::path builderDirectory;
    // From the command line (a build tool's dependencies, extra files): class path
    // entries follow the file's java.class-path, or replace the default when the
    // file sets none; files are carried after the file's files.include.
    std::vector<std::string> classPath = {};
    std::vector<std::filesystem::path> includes = {};
};

struct Project {
    std::filesystem::path path;
    bool defaults = true;
    ConfigBlock block;  // entries sorted by key, each key once
    std::vector<IncludedFile> files;
    std::vector<std::string> warnings;
};

// Throws PackError (exit 1 for every mistake in the file, naming file, line and setting).
Project loadProject(const std::filesystem::path& file, const ProjectOptions& options);
Project parseProject(std::string_view text, const std::filesystem::path& file, const ProjectOptions& options);

// Whether a stored name is safe to create in the extraction directory; the reason when not.
std::optional<std::string> unsafeNameProblem(std::string_view name);

}  // namespace kavrin::pack
