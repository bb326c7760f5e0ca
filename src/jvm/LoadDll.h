// Settling on a Java runtime and loading its jvm.dll into the process.
//
// Usage:
//   LoadedJvm jvm = LoadDLL(ctx, config, ShowErrors::Yes, std::nullopt, LocationIs::Home);
//   if (!jvm.loaded()) stop the service;
//   // else jvm.createJavaVM is JNI_CreateJavaVM and jvm.home is "<bin dir>\.."
#pragma once

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "jvm/Search.h"

namespace kavrin {

using CreateJavaVMFunction = jint(JNICALL*)(JavaVM**, void**, void*);

// The JVM library LoadDLL settled on. home is set once a runtime was chosen, even
// when its library then failed to load; createJavaVM only when loading succeeded.
struct LoadedJvm {
    std::string home;
    CreateJavaVMFunction createJavaVM = nullptr;
    bool loaded() const { return createJavaVM != nullptr; }
};

enum class ShowErrors { No, Yes };
enum class LocationIs { Home, JavaExe };

// Shows messages (without exiting) when asked to.
LoadedJvm LoadDLL(Process& ctx, const Config& config, ShowErrors showErrors, const std::optional<std::string>& location,
                  LocationIs locationIs);

void* loadJvmLibrary(Process& ctx, const Config& config, const std::string& javaExe);
void* loadJvmFromBin(Process& ctx, const Config& config, const std::string& javaExe);
void* tryJvmLibrary(Process& ctx, const std::string& binDirectory, const std::string& subdirectory);
// "<bin dir>\.." of the chosen java executable.
std::string jvmHomeOf(const std::string& javaExe);
CreateJavaVMFunction lookupCreateJavaVM(Process& ctx, void* library);

// Pure rules, exposed for tests.
// The directory of a java executable with its trailing backslash: the last 9
// characters go for a path ending in "javaw.exe", else the last 8 unseen.
std::string javaExeDirectory(const std::string& javaExe);
// The subdirectories of bin tried for jvm.dll, key::kJvmSubdirectory's text first when set.
std::vector<std::string> jvmSubdirectories(const std::string& configured);
// The message keys shown for a failed load, by search result kind, with the
// argument for "{0}" of the first.
struct LoadFailureMessages {
    std::optional<int32_t> first;
    bool firstTakesLocation = false;
};
LoadFailureMessages loadFailureMessages(SearchKind kind);

}  // namespace kavrin
