#include "platform/win32/Win32ServiceProcessEnd.h"

#include "platform/win32/WindowsApi.h"

#include <atomic>

namespace kavrin::win32 {
namespace {

using ShutdownInProgressFn = BOOLEAN(NTAPI*)();

// Never freed: it may run while the process ends, when nothing should be released.
std::atomic<std::function<void()>*> processEndHook{nullptr};
DWORD flsIndex = FLS_OUT_OF_INDEXES;
ShutdownInProgressFn shutdownInProgress = nullptr;

void runHookOnce() {
    if (std::function<void()>* hook = processEndHook.exchange(nullptr)) (*hook)();
}

void WINAPI fiberSlotEnded(PVOID value) {
    // Also called whenever a thread ends; only the end of the process counts.
    if (value && shutdownInProgress && shutdownInProgress()) runHookOnce();
}

void markThread() {
    if (flsIndex != FLS_OUT_OF_INDEXES) ::FlsSetValue(flsIndex, reinterpret_cast<PVOID>(1));
}

void NTAPI threadCallback(PVOID, DWORD reason, PVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Resolved now: during the process's end nothing should be looked up.
        shutdownInProgress =
            moduleFunction<ShutdownInProgressFn>(::GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress");
        flsIndex = ::FlsAlloc(&fiberSlotEnded);
        markThread();
        break;
    case DLL_THREAD_ATTACH: markThread(); break;
    case DLL_PROCESS_DETACH: runHookOnce(); break;
    default: break;
    }
}

}  // namespace

bool installProcessEndHook(std::function<void()> hook) {
    processEndHook.store(new std::function<void()>(std::move(hook)));
    markThread();  // the calling thread, should it predate the callback (it cannot in an exe)
    return flsIndex != FLS_OUT_OF_INDEXES;
}

}  // namespace kavrin::win32

// The MinGW runtime's TLS directory lists every callback placed between .CRT$XLA and
// .CRT$XLZ; "used" keeps it, and installProcessEndHook pulls this object into the link.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK kavrinServiceThreadCallback =
    kavrin::win32::threadCallback;
