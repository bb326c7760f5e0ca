// Creating the JVM in this process and calling the start class's main.
//
// Usage (the service main thread, after LoadDLL returned a loaded library):
//   std::optional<RunningJvm> jvm = launchProgram(ctx, config, loaded, extraction, launcherArguments);
//   if (!jvm) reportStopped();
//   ...stop requested...
//   jvm->callSystemExit(ctx);
#pragma once

#include <jni.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "files/Extraction.h"
#include "jvm/LoadDll.h"
#include "launch/Expand.h"
#include "launch/VmOptions.h"

namespace kavrin {

inline constexpr const char* kStartClass = "com/kavrin/runtime/WinLauncher";
inline constexpr const char* kFirstRunClass = "com/molvex/runtime/FirstRun";
inline constexpr const char* kFirstRunMarker = ".molvex\\firstrun";

// The JVM created in this process, with the option storage it may keep pointers into.
// Default-constructed: no JVM (callSystemExit does nothing).
class RunningJvm {
public:
    RunningJvm() = default;
    RunningJvm(JavaVM* vm, JNIEnv* env, std::unique_ptr<JvmInitArgs> init)
        : vm_(vm), env_(env), init_(std::move(init)) {}

    JavaVM* vm() const { return vm_; }
    JNIEnv* env() const { return env_; }
    // Shutdown.exit(0) (or System.exit(0)), then DestroyJavaVM.
    void callSystemExit(Process& ctx);

private:
    JavaVM* vm_ = nullptr;
    JNIEnv* env_ = nullptr;
    std::unique_ptr<JvmInitArgs> init_;
};

// nullopt when the JVM could not be created or main could not be called.
std::optional<RunningJvm> launchProgram(Process& ctx, const Config& config, const LoadedJvm& jvm,
                                        const Extraction& extraction,
                                        const std::vector<std::u16string>& launcherArguments);

// The steps of launchProgram, exposed for tests.
// "-D" options the launcher tells the Java side about itself with (at most seven).
std::vector<std::string> buildLauncherProperties(Process& ctx, const Config& config, const LauncherVariables& vars,
                                                 int32_t unextractedPosition);
std::optional<RunningJvm> createJvm(Process& ctx, const Config& config, const LauncherVariables& vars,
                                    CreateJavaVMFunction createJavaVM,
                                    const std::vector<std::u16string>& launcherArguments,
                                    const std::vector<std::string>& properties);
bool callMain(Process& ctx, const Config& config, const LauncherVariables& vars, JNIEnv* env,
              const std::vector<std::u16string>& launcherArguments);
// Installer flavour: false stops the launch (main is not called).
bool checkFirstRun(Process& ctx, const Config& config, JNIEnv* env);

}  // namespace kavrin
