// The real platform: every interface of platform/*.h over Win32, owned in one
// object. This header does not include <windows.h>, so tests and the entry point
// stay free of it.
//
// Usage:
//   kavrin::win32::Win32Platform win32;
//   kavrin::Process ctx(win32.platform());
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace kavrin::win32 {

class Win32Platform {
public:
    Win32Platform();
    ~Win32Platform();
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    Platform& platform() { return *platform_; }
    // The process's command line as the ANSI API gives it (GetCommandLineA).
    static std::string commandLine();
    // Before anything is searched for or loaded: leaves the current directory, which
    // whoever starts the process chooses (and key::kWorkingDirectory changes), out of the library search.
    static void hardenSearchOrder();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<Platform> platform_;
};

}  // namespace kavrin::win32
