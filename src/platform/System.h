// Process-level calls: console, message box, exit, clock, code pages, own module,
// libraries, events. Everything else the logic needs from Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace kavrin {

enum class StdStream { Output = 1, Error = 2 };

class Console {
public:
    virtual ~Console() = default;
    virtual void out(const std::string& text) = 0;  // stdout (flushed)
    virtual void err(const std::string& text) = 0;  // stderr (flushed)
    // MessageBoxA(NULL, text, caption, MB_ICONERROR | MB_OK).
    virtual void messageBox(const std::string& text, const std::string& caption) = 0;
    // SetConsoleCtrlHandler(handler, TRUE); the handler's result is the handler's BOOL.
    virtual bool addCtrlHandler(std::function<bool(uint32_t event)> handler) = 0;
    virtual uint32_t outputCodePage() = 0;  // GetConsoleOutputCP
    // Replaces the standard handle and the C runtime descriptor of `stream` by a pipe that a
    // reader thread (one for all streams) empties into sink, so that whatever the process
    // writes there from now on (a JVM loaded later included) reaches sink. False: no pipe,
    // nothing changed.
    virtual bool captureStream(StdStream stream, std::function<void(std::string_view)> sink) = 0;
    // For the process's end, when the reader thread may be gone: hands what is still in
    // the pipes to their sinks.
    virtual void drainCaptured() = 0;
    // The prompt on stdout, then a line from the console without echo; none when
    // standard input is not a console.
    virtual std::optional<std::string> readSecret(const std::string& prompt) {
        (void)prompt;
        return std::nullopt;
    }
    // ReportEventA under the source, one insertion string; never blocks. False when
    // the event could not be written.
    enum class EventType : uint16_t { Error = 1, Warning = 2, Information = 4 };
    virtual bool reportEvent(const std::string& source, EventType type, const std::string& text) {
        (void)source;
        (void)type;
        (void)text;
        return false;
    }
};

// ExitProcess / _exit. The test fake throws instead, so fatal paths are testable.
class Exit {
public:
    virtual ~Exit() = default;
    [[noreturn]] virtual void exitProcess(uint32_t code) = 0;  // ExitProcess
    [[noreturn]] virtual void quickExit(int code) = 0;         // _exit
    // atexit: the hook runs during the C runtime's exit processing.
    virtual void atExit(std::function<void()> hook) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t tickCount() = 0;     // GetTickCount
    virtual void sleep(uint32_t ms) = 0;  // Sleep
    virtual int64_t timeSeconds() = 0;    // time(nullptr)
    virtual std::string ctimeNow() = 0;   // ctime(&now): 24 characters and "\n"
    // Microseconds since the process was created (GetProcessTimes against the system time).
    virtual int64_t microsecondsSinceStart() = 0;
    virtual std::string localTimestamp() = 0;    // GetLocalTime as "yyyy-mm-dd hh:mm:ss.mmm"
    virtual void seedRandom(uint32_t seed) = 0;  // srand
    virtual int random() = 0;                    // rand: 0..32767
    // The system's cryptographic generator (RtlGenRandom); false when it failed.
    virtual bool secureRandom(void* buffer, size_t size) = 0;
};

class CodePages {
public:
    virtual ~CodePages() = default;
    virtual bool fileApisAnsi() = 0;  // AreFileApisANSI
    // MultiByteToWideChar, no flags. nullopt on failure.
    virtual std::optional<std::u16string> toWide(CodePage cp, const std::string& text) = 0;
    // WideCharToMultiByte with default character "?"; usedDefault reports whether it was needed.
    virtual std::optional<std::string> toNarrow(CodePage cp, const std::u16string& text, bool& usedDefault) = 0;
};

// The process's own module and identity.
class Module {
public:
    virtual ~Module() = default;
    virtual std::u16string fileNameW() = 0;                                            // GetModuleFileNameW(NULL)
    virtual std::string fileNameA() = 0;                                               // GetModuleFileNameA(NULL)
    virtual std::optional<std::u16string> shortPathW(const std::u16string& path) = 0;  // GetShortPathNameW
    virtual bool isWindowsNT() = 0;                                                    // GetVersionExA, platform id 2
    virtual std::u16string commandLineW() = 0;                                         // GetCommandLineW
};

// Dynamic libraries (LoadLibraryA / GetProcAddress). Loaded libraries stay loaded.
class Libraries {
public:
    virtual ~Libraries() = default;
    // nullptr on failure. A full path is loaded so that its dependencies are looked for in
    // its own directory first (LOAD_WITH_ALTERED_SEARCH_PATH).
    virtual void* load(const std::string& path) = 0;
    // SetDllDirectoryA: searched for dependencies right after the library's own directory.
    virtual bool setDllDirectory(const std::string& directory) = 0;
    virtual void* symbol(void* library, const std::string& name) = 0;
};

}  // namespace kavrin
