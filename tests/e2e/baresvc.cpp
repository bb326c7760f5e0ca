// The floor of the start-up benchmark: a bare service that does only what any service
// hosting a JVM must do. It connects to the dispatcher, reports running, loads jvm.dll by
// the full path it is given, creates the JVM, calls the start class's main with no
// arguments and waits for the stop control. Installed and started like the launcher, so
// the two differ only in the launcher's own work.
//
//   kavrin-baresvc JVM_DLL [CLASS [PHASES]]   CLASS in JNI form, com/kavrin/runtime/WinLauncher
//                                             by default; PHASES receives the microseconds since
//                                             process start at each step, timed like the
//                                             launcher's phase lines
#include <windows.h>

#include <jni.h>

#include <cstdio>

namespace {

const char* gLibrary = nullptr;
const char* gClass = "com/kavrin/runtime/WinLauncher";
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
SERVICE_STATUS gStatus{};
HANDLE gStopEvent = nullptr;
const char* gPhasesFile = nullptr;
struct Phase {
    const char* name;
    long long us;
};
Phase gPhases[8];
int gPhaseCount = 0;

long long ticks(const FILETIME& t) {
    return static_cast<long long>((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

void phase(const char* name) {
    if (!gPhasesFile || gPhaseCount == 8) return;
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    gPhases[gPhaseCount++] = {name, (ticks(now) - ticks(created)) / 10};
}

// Written after main was called, so the writing is not part of any step.
void writePhases() {
    if (!gPhasesFile) return;
    if (FILE* out = std::fopen(gPhasesFile, "w")) {
        for (int i = 0; i < gPhaseCount; ++i) std::fprintf(out, "phase %s: %lld us\n", gPhases[i].name, gPhases[i].us);
        std::fclose(out);
    }
}

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
    phase("library load");
    using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (!create) return false;
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return false;
    phase("JVM creation");
    jclass start = env->FindClass(gClass);
    jmethodID main = start ? env->GetStaticMethodID(start, "main", "([Ljava/lang/String;)V") : nullptr;
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray none = stringClass ? env->NewObjectArray(0, stringClass, nullptr) : nullptr;
    if (!main || !none) return false;
    env->CallStaticVoidMethod(start, main, none);
    phase("main");
    writePhases();
    return env->ExceptionOccurred() == nullptr;
}

void WINAPI serviceMain(DWORD, LPSTR*) {
    gStatusHandle = RegisterServiceCtrlHandlerA("", handler);
    if (!gStatusHandle) return;
    gStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    gStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    report(SERVICE_RUNNING);
    phase("service registered");
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
    if (argc > 3) gPhasesFile = argv[3];
    phase("process main");
    gStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char empty[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{empty, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
