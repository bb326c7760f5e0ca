#include "platform/win32/Win32Platform.h"

#include "platform/win32/WindowsApi.h"

#include "platform/win32/Win32Environment.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Services.h"
#include "platform/win32/Win32System.h"

namespace kavrin::win32 {

struct Win32Platform::Parts {
    Win32FileSystem fs;
    Win32Registry registry;
    Win32Environment env;
    Win32Processes processes;
    Win32ServiceControl services;
    Win32Console console;
    Win32Exit exit;
    Win32Clock clock;
    Win32CodePages codePages;
    Win32Module module;
    Win32Libraries libraries;
};

Win32Platform::Win32Platform()
    : parts_(std::make_unique<Parts>()),
      platform_(std::make_unique<Platform>(Platform{parts_->fs, parts_->registry, parts_->env, parts_->processes,
                                                    parts_->services, parts_->console, parts_->exit, parts_->clock,
                                                    parts_->codePages, parts_->module, parts_->libraries})) {}

Win32Platform::~Win32Platform() = default;

void Win32Platform::hardenSearchOrder() {
    ::SetDllDirectoryA("");
    ::SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

std::string Win32Platform::commandLine() { return ::GetCommandLineA(); }

}  // namespace kavrin::win32
