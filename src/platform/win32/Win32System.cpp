#include "platform/win32/Win32System.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include <unistd.h>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Security.h"

namespace kavrin::win32 {

// ---- Console

namespace {

void writeFlushed(FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// SetConsoleCtrlHandler takes a plain function; one trampoline walks the handlers
// added so far, newest first, as Windows itself does with registered handlers.
std::mutex ctrlHandlersLock;
std::vector<std::function<bool(uint32_t)>>& ctrlHandlers() {
    static std::vector<std::function<bool(uint32_t)>> handlers;
    return handlers;
}

BOOL WINAPI ctrlTrampoline(DWORD event) {
    std::vector<std::function<bool(uint32_t)>> handlers;
    {
        std::lock_guard<std::mutex> guard(ctrlHandlersLock);
        handlers = ctrlHandlers();
    }
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
        if ((*it)(event)) return TRUE;
    return FALSE;
}

}  // namespace

void Win32Console::out(const std::string& text) { writeFlushed(stdout, text); }
void Win32Console::err(const std::string& text) { writeFlushed(stderr, text); }

// user32 is loaded here, not imported: loading it costs every start, and a service
// that runs normally never shows a box.
void Win32Console::messageBox(const std::string& text, const std::string& caption) {
    static const ModuleRef user32(::LoadLibraryA("user32.dll"));
    if (!user32) return;
    using MessageBoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
    const auto show = moduleFunction<MessageBoxFn>(user32.get(), "MessageBoxA");
    if (show) show(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
}

bool Win32Console::addCtrlHandler(std::function<bool(uint32_t event)> handler) {
    std::lock_guard<std::mutex> guard(ctrlHandlersLock);
    static bool registered = false;
    if (!registered && !::SetConsoleCtrlHandler(&ctrlTrampoline, TRUE)) return false;
    registered = true;
    ctrlHandlers().push_back(std::move(handler));
    return true;
}

uint32_t Win32Console::outputCodePage() { return ::GetConsoleOutputCP(); }

std::optional<std::string> Win32Console::readSecret(const std::string& prompt) {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || !::GetConsoleMode(input, &mode)) return std::nullopt;
    writeFlushed(stdout, prompt);
    ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::string line;
    char c = 0;
    DWORD read = 0;
    while (::ReadFile(input, &c, 1, &read, nullptr) && read == 1 && c != '\n') {
        if (c != '\r') line += c;
    }
    ::SetConsoleMode(input, mode);
    writeFlushed(stdout, "\n");
    return line;
}

bool Win32Console::reportEvent(const std::string& source, EventType type, const std::string& text) {
    // Message 1 of the executable's message table is "%1": the text shows as given.
    constexpr DWORD kTextMessage = 1;
    UniqueEventSource log(::RegisterEventSourceA(nullptr, source.c_str()));
    if (!log) return false;
    const char* strings[] = {text.c_str()};
    return ::ReportEventA(log.get(), static_cast<WORD>(type), 0, kTextMessage, nullptr, 1, 0, strings, nullptr) != 0;
}

// ---- Exit

void Win32Exit::exitProcess(uint32_t code) {
    ::ExitProcess(code);
    std::abort();  // not reached
}

void Win32Exit::quickExit(int code) { ::_exit(code); }

namespace {
// The C runtime's atexit takes plain functions; the hooks wait here, never freed (they
// run during the process's end), and run last-registered first as atexit would.
std::vector<std::function<void()>>& exitHooks() {
    static auto* hooks = new std::vector<std::function<void()>>();
    return *hooks;
}
void runExitHooks() {
    auto& hooks = exitHooks();
    while (!hooks.empty()) {
        std::function<void()> hook = std::move(hooks.back());
        hooks.pop_back();
        hook();
    }
}
}  // namespace

void Win32Exit::atExit(std::function<void()> hook) {
    static const bool registered = std::atexit(&runExitHooks) == 0;
    (void)registered;
    exitHooks().push_back(std::move(hook));
}

// ---- Clock

uint32_t Win32Clock::tickCount() { return ::GetTickCount(); }
void Win32Clock::sleep(uint32_t ms) { ::Sleep(ms); }
int64_t Win32Clock::timeSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

std::string Win32Clock::ctimeNow() {
    std::time_t now = std::time(nullptr);
    const char* text = std::ctime(&now);
    return text ? std::string(text) : std::string();
}

int64_t Win32Clock::microsecondsSinceStart() {
    FILETIME created, exited, kernel, user, now;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    // The precise clock exists from Windows 8 on; looked up so the stub still loads on older systems.
    using PreciseFn = void(WINAPI*)(LPFILETIME);
    static const auto precise =
        moduleFunction<PreciseFn>(::GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime");
    if (precise) precise(&now);
    else ::GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) {
        return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(now) - ticks(created)) / 10;  // 100 ns units
}

std::string Win32Clock::localTimestamp() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

void Win32Clock::seedRandom(uint32_t seed) { std::srand(seed); }
int Win32Clock::random() { return std::rand(); }
bool Win32Clock::secureRandom(void* buffer, size_t size) { return secureRandomBytes(buffer, size); }

// ---- Code pages

namespace {
UINT nativeCodePage(CodePage cp) { return cp == CodePage::Oem ? CP_OEMCP : CP_ACP; }
}  // namespace

bool Win32CodePages::fileApisAnsi() { return ::AreFileApisANSI() != 0; }

std::optional<std::u16string> Win32CodePages::toWide(CodePage cp, const std::string& text) {
    if (text.empty()) return std::u16string();
    if (text.size() > INT32_MAX) return std::nullopt;
    const UINT page = nativeCodePage(cp);
    const int length = static_cast<int>(text.size());
    int n = ::MultiByteToWideChar(page, 0, text.data(), length, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(page, 0, text.data(), length, out.data(), n) != n) return std::nullopt;
    return fromWide(out.data(), out.size());
}

std::optional<std::string> Win32CodePages::toNarrow(CodePage cp, const std::u16string& text, bool& usedDefault) {
    usedDefault = false;
    if (text.empty()) return std::string();
    if (text.size() > INT32_MAX) return std::nullopt;
    const UINT page = nativeCodePage(cp);
    const int length = static_cast<int>(text.size());
    const wchar_t* source = wide(text);
    // A UTF-8 system code page refuses a default character (and never needs one).
    const bool utf8 = (cp == CodePage::Oem ? ::GetOEMCP() : ::GetACP()) == CP_UTF8;
    const char* defaultChar = utf8 ? nullptr : "?";
    BOOL used = FALSE;
    BOOL* usedOut = utf8 ? nullptr : &used;
    int n = ::WideCharToMultiByte(page, 0, source, length, nullptr, 0, defaultChar, usedOut);
    if (n <= 0) return std::nullopt;
    std::string out(static_cast<size_t>(n), '\0');
    used = FALSE;
    if (::WideCharToMultiByte(page, 0, source, length, out.data(), n, defaultChar, usedOut) != n) return std::nullopt;
    usedDefault = used != FALSE;
    return out;
}

// ---- Module

std::u16string Win32Module::fileNameW() {
    std::wstring name =
        callTruncating<wchar_t>([](wchar_t* b, DWORD n) { return ::GetModuleFileNameW(nullptr, b, n); });
    return fromWide(name.data(), name.size());
}

std::string Win32Module::fileNameA() {
    return callTruncating<char>([](char* b, DWORD n) { return ::GetModuleFileNameA(nullptr, b, n); });
}

std::optional<std::u16string> Win32Module::shortPathW(const std::u16string& path) {
    auto shortName = callSized<wchar_t>([&](wchar_t* b, DWORD n) { return ::GetShortPathNameW(wide(path), b, n); });
    if (!shortName) return std::nullopt;
    return fromWide(shortName->data(), shortName->size());
}

bool Win32Module::isWindowsNT() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 148;  // sizeof(OSVERSIONINFOA)
    return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::u16string Win32Module::commandLineW() {
    const wchar_t* line = ::GetCommandLineW();
    return line ? fromWide(line, std::wcslen(line)) : std::u16string();
}

// ---- Libraries

void* Win32Libraries::load(const std::string& path) {
    // Altered search path: a full path's dependencies come from its own directory first,
    // then the DLL directory, before the system's and PATH's. Only valid for full paths.
    const bool full = path.size() > 2 && (path[1] == ':' || (path[0] == '\\' && path[1] == '\\'));
    ModuleRef module{::LoadLibraryExA(path.c_str(), nullptr, full ? LOAD_WITH_ALTERED_SEARCH_PATH : 0)};
    return module.get();  // stays loaded: see ModuleTraits
}

bool Win32Libraries::setDllDirectory(const std::string& directory) {
    return ::SetDllDirectoryA(directory.c_str()) != 0;
}

void* Win32Libraries::symbol(void* library, const std::string& name) {
    FARPROC proc = ::GetProcAddress(static_cast<HMODULE>(library), name.c_str());
    void* address = nullptr;
    static_assert(sizeof address == sizeof proc);
    std::memcpy(&address, &proc, sizeof address);
    return address;
}

}  // namespace kavrin::win32
