// The one way this folder includes <windows.h>: without the macros that would
// rename identifiers of the platform interfaces (TextOut -> TextOutA).
#pragma once

#include <windows.h>

#undef TextOut

namespace kavrin::win32 {

// A function of an already loaded module, typed; nullptr when the module or the function
// is missing (looked up at run time so the stub still loads where it does not exist).
template <typename Fn>
Fn moduleFunction(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

}  // namespace kavrin::win32
