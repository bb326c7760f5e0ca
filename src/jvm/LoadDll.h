// Settling on a Java runtime and loading its jvm.dll into the process.
//
// Usage:
//   if (!LoadDLL(ctx, true, std::nullopt, false)) stop the service;
//   // else ctx.createJavaVM is JNI_CreateJavaVM and ctx.jvmHome is "<bin dir>\.."
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Context.h"

namespace kavrin {

// Sets ctx.createJavaVM and ctx.jvmHome. Shows messages (without exiting) when showErrors.
bool LoadDLL(Context& ctx, bool showErrors, const std::optional<std::string>& location, bool locationIsJavaExe);

void* loadJvmLibrary(Context& ctx, const std::string& javaExe);
void* loadJvmFromBin(Context& ctx, const std::string& javaExe);
void* tryJvmLibrary(Context& ctx, const std::string& binDirectory, const std::string& subdirectory);
void setJvmHome(Context& ctx, const std::string& javaExe);
bool lookupCreateJavaVM(Context& ctx, void* library);

// Pure rules, exposed for tests.
// The directory of a java executable with its trailing backslash: the last 9
// characters go for a path ending in "javaw.exe", else the last 8 unseen.
std::string javaExeDirectory(const std::string& javaExe);
// The subdirectories of bin tried for jvm.dll, key 152's text first when set.
std::vector<std::string> jvmSubdirectories(const std::string& configured);
// The message keys shown for a failed load, by search result kind, with the
// argument for "{0}" of the first.
struct LoadFailureMessages {
    std::optional<int32_t> first;
    bool firstTakesLocation = false;
};
LoadFailureMessages loadFailureMessages(int kind);

}  // namespace kavrin
