/* A dependency of the stand-in jvm.dll below: tells which copy of it was loaded. */
#include <windows.h>

__declspec(dllexport) const char* helperPath(void) {
    static char path[MAX_PATH];
    HMODULE self = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)&helperPath, &self);
    GetModuleFileNameA(self, path, MAX_PATH);
    return path;
}
