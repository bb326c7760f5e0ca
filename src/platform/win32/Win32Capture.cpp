// Standard output and error through pipes read by one thread of our own, so a service's
// output can be kept. The handles are swapped before the JVM loads: its C runtime and
// Java's FileDescriptor.out/err take the standard handles when they start.
//
// One thread serves both pipes with overlapped reads: a second thread cost a start
// more than everything else the capture does.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/Win32Security.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/WindowsApi.h"

namespace kavrin::win32 {
namespace {

constexpr DWORD kChunk = 64 * 1024;
constexpr SIZE_T kReaderStack = 256 * 1024;  // the buffers are on the heap; the sinks write files
constexpr int kDrainReads = 64;              // at the end: what the pipe held, not a writer that goes on

// One captured stream. Everything but `read` and `event` is used under `lock`: the reader
// thread and the drain at the process's end take turns.
struct Capture {
    HANDLE read = nullptr;   // overlapped read end; lives as long as the process
    HANDLE event = nullptr;  // set when the outstanding read completes
    std::function<void(std::string_view)> sink;
    std::timed_mutex lock;
    OVERLAPPED overlapped{};
    // Uninitialised: its pages are touched by the first output, not at the service's start.
    std::unique_ptr<char[]> buffer{new char[kChunk]};
    bool pending = false;  // a read is outstanding
    bool ended = false;    // the write end is gone
};

struct Reader {
    HANDLE wake = nullptr;  // auto-reset: a capture was added
    std::mutex lock;
    std::vector<Capture*> added;
    // Set when the thread first takes `added`: a capture added before then needs no wake
    // (a server round trip each under Wine, and the new thread rarely runs that soon).
    bool listening = false;
};

Capture* captures[3] = {};  // by descriptor number; never freed
Reader* reader = nullptr;   // started by the first capture; never freed

// With the capture's lock held. ReadFile clears the event itself when the read begins.
void startRead(Capture& c) {
    c.overlapped = OVERLAPPED{};
    c.overlapped.hEvent = c.event;
    if (::ReadFile(c.read, c.buffer.get(), kChunk, nullptr, &c.overlapped) || ::GetLastError() == ERROR_IO_PENDING) {
        c.pending = true;
    } else {
        c.ended = true;
    }
}

// With the capture's lock held: hands a completed read to the sink. False while the read
// still waits for data.
bool completeRead(Capture& c) {
    DWORD got = 0;
    if (!::GetOverlappedResult(c.read, &c.overlapped, &got, FALSE)) {
        if (::GetLastError() == ERROR_IO_INCOMPLETE) return false;
        got = 0;  // the pipe ended; the next read says so
    }
    c.pending = false;
    if (got > 0) c.sink(std::string_view(c.buffer.get(), got));
    return true;
}

// A read outstanding unless the pipe has ended.
bool keepReading(Capture& c) {
    std::lock_guard guard(c.lock);
    if (!c.pending && !c.ended) startRead(c);
    return !c.ended;
}

DWORD WINAPI readLoop(void* parameter) {
    Reader& self = *static_cast<Reader*>(parameter);
    std::vector<Capture*> open;
    std::vector<HANDLE> waits;
    for (;;) {
        {
            std::lock_guard guard(self.lock);
            open.insert(open.end(), self.added.begin(), self.added.end());
            self.added.clear();
            self.listening = true;
        }
        std::erase_if(open, [](Capture* c) { return !keepReading(*c); });
        waits.assign(1, self.wake);
        for (Capture* c : open) waits.push_back(c->event);
        if (::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE) == WAIT_FAILED)
            return 0;
        // Every completed read, not just the first: a busy stream must not starve the other.
        for (Capture* c : open) {
            if (::WaitForSingleObject(c->event, 0) != WAIT_OBJECT_0) continue;
            std::lock_guard guard(c->lock);
            if (c->pending) completeRead(*c);
        }
    }
}

// A plain system thread: one that cannot start is an answer (no capture) rather than an
// exception out of the service start, and it starts a little faster than a std::thread.
Reader* startReader() {
    auto* started = new Reader;
    started->wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = started->wake ? ::CreateThread(nullptr, kReaderStack, readLoop, started,
                                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr)
                                  : nullptr;
    if (!thread) {
        if (started->wake) ::CloseHandle(started->wake);
        delete started;
        return nullptr;
    }
    ::CloseHandle(thread);
    return started;
}

// A pipe whose read end allows overlapped reads (an anonymous pipe's does not). One
// instance under an unguessable name, its only client connected at once: nobody else can
// take the other end. False when any step fails; nothing is left open then.
bool openPipe(int fd, HANDLE& read, HANDLE& write) {
    uint64_t random = 0;
    if (!secureRandomBytes(&random, sizeof random)) return false;
    // kavrin-output-<pid>-<fd>-<random>, in hex: no formatting code pulled into the stub for it.
    std::wstring name = L"\\\\.\\pipe\\kavrin-output";
    for (const uint64_t part : {uint64_t{::GetCurrentProcessId()}, uint64_t(fd), random}) {
        name += L'-';
        for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(part >> shift) & 0xF];
    }
    read = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
                              kChunk, 0, nullptr);
    if (read == INVALID_HANDLE_VALUE) return false;
    write = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (write != INVALID_HANDLE_VALUE) return true;
    ::CloseHandle(read);
    return false;
}

// Descriptor `fd` of our C runtime and the standard handle onto the pipe's write end. The
// end itself goes to a descriptor of its own, never closed (it is the standard handle);
// `fd` gets the duplicate _dup2 makes, so whoever closes stdout leaves the standard handle
// alone. Either way the write end is owned: closed on failure.
bool pointStreamAt(int fd, HANDLE write) {
    const int owner = ::_open_osfhandle(reinterpret_cast<intptr_t>(write), _O_WRONLY | _O_TEXT);
    if (owner < 0) {
        ::CloseHandle(write);
        return false;
    }
    if (::_dup2(owner, fd) != 0 || !::SetStdHandle(fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, write)) {
        ::_close(owner);
        return false;
    }
    return true;
}

}  // namespace

bool Win32Console::captureStream(StdStream stream, std::function<void(std::string_view)> sink) {
    const int fd = static_cast<int>(stream);
    if (captures[fd]) return false;
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!openPipe(fd, read, write)) return false;
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event || (!reader && !(reader = startReader()))) {
        if (event) ::CloseHandle(event);
        ::CloseHandle(read);
        ::CloseHandle(write);
        return false;
    }
    auto* capture = new Capture;
    capture->read = read;
    capture->event = event;
    capture->sink = std::move(sink);
    // Reading before anyone writes: a pipe nobody reads would block the first large write for good.
    bool wake = false;
    {
        std::lock_guard guard(reader->lock);
        reader->added.push_back(capture);
        wake = reader->listening;
    }
    if (wake) ::SetEvent(reader->wake);
    std::fflush(fd == 1 ? stdout : stderr);
    // On failure the reader sees the pipe end and drops it; it keeps `capture`.
    if (!pointStreamAt(fd, write)) return false;
    captures[fd] = capture;
    return true;
}

void Win32Console::drainCaptured() {
    for (Capture* capture : captures) {
        if (!capture) continue;
        // A reader ended while holding the lock would hold it for ever.
        std::unique_lock guard(capture->lock, std::chrono::milliseconds(200));
        if (!guard.owns_lock()) continue;
        // What a finished read holds, then read on until a read finds the pipe empty: that
        // one stays outstanding, for the reader if it still runs.
        for (int reads = 0; reads < kDrainReads && !capture->ended; ++reads) {
            if (capture->pending && !completeRead(*capture)) break;
            startRead(*capture);
        }
    }
}

}  // namespace kavrin::win32
