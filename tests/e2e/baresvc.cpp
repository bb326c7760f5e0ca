// The floor of the start-up benchmark: a bare service that does only what any service
// hosting a JVM must do. It connects to the dispatcher, reports running, loads jvm.dll by
// the full path it is given, creates the JVM, calls the start class's main with no
// arguments and waits for the stop control. Installed and started like the launcher, so
// the two differ only in the launcher's own work.
//
//   kavrin-baresvc JVM_DLL [CLASS]     CLASS in JNI form, com/kavrin/runtime/WinLauncher by default
#include <windows.h>

#include <jni.h>

namespace {

const char* gLibrary = nullptr;
const char* gClass = "com/kavrin/runtime/WinLauncher";
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
SERVICE_STATUS gStatus{};
HANDLE gStopEvent = nullptr;

void report(DWORD state, DWORD exitCode = NO_ERROR) {
    gStatus.dwCurrentState = state;
    gStatus.dwWin32ExitCode = exitCode;
    SetServiceStatus(gStatusHandle, &gStatus);
}

void WINAPI handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        report(SERVICE_STOP_PENDING);
        SetEvent(gStopEvent);
        return;
    }
    SetServiceStatus(gStatusHandle, &gStatus);
}

bool createJvmAndCallMain() {
    HMODULE jvm = LoadLibraryA(gLibrary);
    if (!jvm) return false;
    using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (!create) return false;
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return false;
    jclass start = env->FindClass(gClass);
    jmethodID main = start ? env->GetStaticMethodID(start, "main", "([Ljava/lang/String;)V") : nullptr;
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray none = stringClass ? env->NewObjectArray(0, stringClass, nullptr) : nullptr;
    if (!main || !none) return false;
    env->CallStaticVoidMethod(start, main, none);
    return env->ExceptionOccurred() == nullptr;
}

void WINAPI serviceMain(DWORD, LPSTR*) {
    gStatusHandle = RegisterServiceCtrlHandlerA("", handler);
    if (!gStatusHandle) return;
    gStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    gStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    report(SERVICE_RUNNING);
    if (!createJvmAndCallMain()) {
        report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
        return;
    }
    WaitForSingleObject(gStopEvent, INFINITE);
    report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 64;
    gLibrary = argv[1];
    if (argc > 2) gClass = argv[2];
    gStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char empty[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{empty, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
