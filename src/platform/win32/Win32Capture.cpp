// Standard output and error through pipes read by threads of our own, so a service's
// output can be kept. The handles are swapped before the JVM loads: its C runtime and
// Java's FileDescriptor.out/err take the standard handles when they start.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/Win32System.h"
#include "platform/win32/WindowsApi.h"

namespace kavrin::win32 {
namespace {

struct Capture {
    HANDLE read = nullptr;  // lives as long as the process: the thread and the drain use it
    std::function<void(std::string_view)> sink;
    std::timed_mutex lock;  // the reader thread and the drain take turns
};

Capture* captures[3] = {};  // by descriptor number; never freed

constexpr DWORD kChunk = 64 * 1024;
constexpr SIZE_T kReaderStack = 256 * 1024;  // the buffer is on the heap; the sink writes a file

// A plain system thread: one that cannot start is an answer (no capture) rather than an
// exception out of the service start, and it starts a little faster than a std::thread.
DWORD WINAPI readLoop(void* parameter) {
    auto* capture = static_cast<Capture*>(parameter);
    std::vector<char> buffer(kChunk);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(capture->read, buffer.data(), kChunk, &got, nullptr) || got == 0) return 0;
        std::lock_guard guard(capture->lock);
        capture->sink(std::string_view(buffer.data(), got));
    }
}

// Descriptor `fd` of our C runtime onto a duplicate of `handle`; the descriptor owns the duplicate.
bool pointDescriptorAt(int fd, HANDLE handle) {
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        return false;
    const int temporary = ::_open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_WRONLY | _O_TEXT);
    if (temporary < 0) {
        ::CloseHandle(copy);
        return false;
    }
    const bool ok = ::_dup2(temporary, fd) == 0;
    ::_close(temporary);
    return ok;
}

}  // namespace

bool Win32Console::captureStream(StdStream stream, std::function<void(std::string_view)> sink) {
    const int fd = static_cast<int>(stream);
    if (captures[fd]) return false;
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!::CreatePipe(&read, &write, nullptr, kChunk)) return false;
    // The reader first: a pipe nobody reads would block the first large write for good.
    auto* capture = new Capture{read, std::move(sink), {}};
    HANDLE reader =
        ::CreateThread(nullptr, kReaderStack, readLoop, capture, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!reader) {
        ::CloseHandle(read);
        ::CloseHandle(write);
        delete capture;
        return false;
    }
    ::CloseHandle(reader);
    std::fflush(fd == 1 ? stdout : stderr);
    if (!pointDescriptorAt(fd, write) || !::SetStdHandle(fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, write)) {
        ::CloseHandle(write);  // the reader sees the pipe end and stops; it keeps `capture`
        return false;
    }
    // The write end now belongs to the standard handle for the rest of the process.
    captures[fd] = capture;
    return true;
}

void Win32Console::drainCaptured() {
    for (Capture* capture : captures) {
        if (!capture) continue;
        // A reader ended while holding the lock would hold it for ever.
        std::unique_lock guard(capture->lock, std::chrono::milliseconds(200));
        if (!guard.owns_lock()) continue;
        std::vector<char> buffer(kChunk);
        DWORD available = 0;
        while (::PeekNamedPipe(capture->read, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD got = 0;
            if (!::ReadFile(capture->read, buffer.data(), std::min(available, kChunk), &got, nullptr) || got == 0)
                break;
            capture->sink(std::string_view(buffer.data(), got));
        }
    }
}

}  // namespace kavrin::win32
