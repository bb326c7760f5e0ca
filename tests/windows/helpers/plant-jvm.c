/* A jvm.dll that imports kvrhelper.dll, to see where its dependencies are found. */
__declspec(dllimport) const char* helperPath(void);

__declspec(dllexport) int JNI_CreateJavaVM(void* vm, void* env, void* args) {
    (void)vm;
    (void)env;
    (void)args;
    return -1;
}

__declspec(dllexport) const char* whichHelper(void) { return helperPath(); }
