// The floor of the start-up benchmark: the least a launcher must do to start a JVM,
// namely load jvm.dll and call JNI_CreateJavaVM with no options. Exit code 0 when the
// call returned JNI_OK.
#include <windows.h>

#include <jni.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 64;
    HMODULE jvm = LoadLibraryA(argv[1]);
    if (!jvm) return 2;
    using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (!create) return 3;
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    JavaVM* vm = nullptr;
    void* env = nullptr;
    return create(&vm, &env, &args) == JNI_OK ? 0 : 1;
}
