// The Java version a jar's classes need, read from the class-file versions of its
// stored (uncompressed) class entries; kavrin-runtime.jar is written that way.
//
// Usage:
//   if (auto need = requiredJavaVersion(jarBytes)) use(need->version);  // "1.8" for class-file version 52
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrin::pack {

struct JavaRequirement {
    int classFileVersion = 0;  // the highest major version among the classes
    std::string version;       // the Java version text that runs it, as the version rules compare it
};

// None when the data is no zip archive or holds no stored class entry.
std::optional<JavaRequirement> requiredJavaVersion(std::string_view jar);

// 49 -> "1.5", 52 -> "1.8", 53 -> "9", 61 -> "17".
std::string javaVersionForClassFile(int major);

}  // namespace kavrin::pack
