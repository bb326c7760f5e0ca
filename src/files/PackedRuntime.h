// Unpacking a Java runtime shipped with packed jar files, in place, once.
#pragma once

#include <string>

#include "config/Context.h"

namespace kavrin {

void preparePackedRuntime(Context& ctx, const std::string& javaHome);
void unpackArchive(Context& ctx, const std::string& javaHome, const std::string& archive);

// "HOME\bin\unpack200.exe" -r "PACKED" "ARCHIVE", every path in double quotes.
std::string makeUnpackCommandLine(const std::string& javaHome, const std::string& packedPath,
                                  const std::string& archivePath);

}  // namespace kavrin
