// Process-level calls: console, exit, clock, code pages, own module, libraries.
#pragma once

#include <vector>

#include "platform/System.h"

namespace kavrin::win32 {

class Win32Console final : public Console {
public:
    void out(const std::string& text) override;
    void err(const std::string& text) override;
    void messageBox(const std::string& text, const std::string& caption) override;
    bool addCtrlHandler(std::function<bool(uint32_t event)> handler) override;
    uint32_t outputCodePage() override;
    bool captureStream(StdStream stream, std::function<void(std::string_view)> sink) override;
    void drainCaptured() override;
    std::optional<std::string> readSecret(const std::string& prompt) override;
    bool reportEvent(const std::string& source, EventType type, const std::string& text) override;
};

class Win32Exit final : public Exit {
public:
    [[noreturn]] void exitProcess(uint32_t code) override;
    [[noreturn]] void quickExit(int code) override;
    void atExit(std::function<void()> hook) override;
};

class Win32Clock final : public Clock {
public:
    uint32_t tickCount() override;
    void sleep(uint32_t ms) override;
    int64_t timeSeconds() override;
    std::string ctimeNow() override;
    int64_t microsecondsSinceStart() override;
    std::string localTimestamp() override;
    void seedRandom(uint32_t seed) override;
    int random() override;
    bool secureRandom(void* buffer, size_t size) override;
};

class Win32CodePages final : public CodePages {
public:
    bool fileApisAnsi() override;
    std::optional<std::u16string> toWide(CodePage cp, const std::string& text) override;
    std::optional<std::string> toNarrow(CodePage cp, const std::u16string& text, bool& usedDefault) override;
};

class Win32Module final : public Module {
public:
    std::u16string fileNameW() override;
    std::string fileNameA() override;
    std::optional<std::u16string> shortPathW(const std::u16string& path) override;
    bool isWindowsNT() override;
    std::u16string commandLineW() override;
};

class Win32Libraries final : public Libraries {
public:
    void* load(const std::string& path) override;
    bool setDllDirectory(const std::string& directory) override;
    void* symbol(void* library, const std::string& name) override;
};

}  // namespace kavrin::win32
