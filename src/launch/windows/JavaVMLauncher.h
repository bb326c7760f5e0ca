// Creating the JVM in this process and calling the start class's main.
//
// Usage (the service main thread, after LoadDLL set ctx.createJavaVM):
//   if (!launchProgram(ctx, launcherArguments)) reportStopped();
//   ...stop requested...
//   callSystemExit(ctx);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/Context.h"

namespace kavrin {

inline constexpr const char* kStartClass = "com/kavrin/runtime/WinLauncher";
inline constexpr const char* kFirstRunClass = "com/molvex/runtime/FirstRun";
inline constexpr const char* kFirstRunMarker = ".molvex\\firstrun";

bool launchProgram(Context& ctx, const std::vector<std::u16string>& launcherArguments);
void callSystemExit(Context& ctx);
int32_t getUnextractedPosition(const Context& ctx);

// The steps of launchProgram, exposed for tests.
// "-D" options the launcher tells the Java side about itself with (at most seven).
std::vector<std::string> buildLauncherProperties(Context& ctx);
bool createJvm(Context& ctx, const std::vector<std::u16string>& launcherArguments,
               const std::vector<std::string>& properties);
bool callMain(Context& ctx, const std::vector<std::u16string>& launcherArguments);
// Installer flavour: false stops the launch (main is not called).
bool checkFirstRun(Context& ctx);

}  // namespace kavrin
