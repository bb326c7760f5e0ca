// Reporting a service stopped however the process ends. The JVM's own C runtime may
// end the process (Shutdown.exit from its VM thread), so our atexit list is not enough.
#pragma once

#include <functional>

namespace kavrin::win32 {

// Runs hook once when the process ends through ExitProcess, whichever thread and
// whichever C runtime asked for it. Two routes, one hook:
//  - every thread carries a fiber-local value whose callback the loader runs for the
//    thread that ends the process (checked with RtlDllShutdownInProgress, since the
//    same callback also runs when a thread merely ends); the executable's TLS callback
//    gives each new thread that value, the JVM's threads included;
//  - the executable's TLS callback on DLL_PROCESS_DETACH (Windows delivers it, Wine
//    does not).
bool installProcessEndHook(std::function<void()> hook);

}  // namespace kavrin::win32
