// A child process for the spawn tests. Options run in the order given:
//   --stderr TEXT / --stdout TEXT   write TEXT to that stream
//   --sleep MS                      wait
//   --exit N                        return N from main (the runtime's exit)
//   --exit-process N                ExitProcess(N) at once, as a foreign runtime would
//   --thread-exit-process N         the same from a thread started here (a JVM's VM thread)
//   --process-end-hook FILE         the platform's process-end hook writes "hook ran" to FILE
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win32/Win32Platform.h"

namespace {

kavrin::win32::Win32Platform* platform = nullptr;
std::string hookFile;

void processEnded() {
    auto file = platform->platform().fs.openFile(hookFile, kavrin::FileAccess::Write, kavrin::FileShare::None,
                                                 kavrin::FileDisposition::CreateAlways);
    if (file) file->write("hook ran", 8);
}

}  // namespace

int main(int argc, char** argv) {
    // Never destroyed: the process-end hook runs after main has returned.
    auto& win32 = *new kavrin::win32::Win32Platform;
    platform = &win32;
    int code = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--stderr") {
            std::fputs(value, stderr);
            std::fflush(stderr);
        } else if (option == "--stdout") {
            std::fputs(value, stdout);
            std::fflush(stdout);
        } else if (option == "--sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value)));
        } else if (option == "--exit") {
            code = std::atoi(value);
        } else if (option == "--exit-process") {
            win32.platform().exit.exitProcess(static_cast<uint32_t>(std::atoi(value)));
        } else if (option == "--thread-exit-process") {
            const auto exitCode = static_cast<uint32_t>(std::atoi(value));
            std::thread([&win32, exitCode] { win32.platform().exit.exitProcess(exitCode); }).join();
        } else if (option == "--process-end-hook") {
            hookFile = value;
            win32.platform().services.setProcessEndHook(&processEnded);
        }
    }
    return code;
}
