// Unpacking a Java runtime shipped with packed jar files, in place, once.
#pragma once

#include <string>

#include "config/Config.h"
#include "diagnostics/Process.h"

namespace kavrin {

void preparePackedRuntime(Process& ctx, const Config& config, const std::string& javaHome);
void unpackArchive(Process& ctx, const Config& config, const std::string& javaHome, const std::string& archive);

// "HOME\bin\unpack200.exe" -r "PACKED" "ARCHIVE", every path in double quotes.
std::string makeUnpackCommandLine(const std::string& javaHome, const std::string& packedPath,
                                  const std::string& archivePath);

}  // namespace kavrin
