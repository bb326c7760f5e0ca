// Test tool for the service scenarios under Wine: reads the service manager's own view
// of a service (Wine's sc.exe cannot show the configuration), sends controls, and runs
// as a plain service whose stop behaviour the scenario chooses.
//
//   kavrin-testsvc query NAME                    key=value lines of status and configuration
//   kavrin-testsvc create NAME START BINPATH      CreateServiceA, own process
//   kavrin-testsvc delete NAME
//   kavrin-testsvc setpath NAME BINPATH           ChangeServiceConfigA: the command line
//   kavrin-testsvc start NAME [ARG...]           StartServiceA with arguments
//   kavrin-testsvc control NAME CODE             ControlService
//   kavrin-testsvc wait NAME STATE MS            poll QueryServiceStatusEx until STATE
//   kavrin-testsvc bench-start NAME FILE TEXT    milliseconds from StartServiceA until the
//                                                stand-in jvm.dll signals main; FILE must
//                                                then hold TEXT
//   kavrin-testsvc run COMMANDLINE               CreateProcessA with exactly that command
//                                                line (trailing blanks included); its exit code
//   kavrin-testsvc service normal|stuckstop|exitpending   run as the service; exitpending
//                                                ends the process in stop pending, unreported
//   kavrin-testsvc                               run as the service, normal (so a copy can
//                                                stand in for another program's image)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text) {
    if (!text) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

struct ScHandle {
    SC_HANDLE h = nullptr;
    explicit ScHandle(SC_HANDLE handle) : h(handle) {}
    ~ScHandle() {
        if (h) CloseServiceHandle(h);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
};

int fail(const char* what) {
    std::printf("error=%lu (%s)\n", GetLastError(), what);
    return 2;
}

bool queryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& ssp) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&ssp), sizeof ssp, &needed);
}

int query(const char* name) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(OpenServiceA(manager.h, name, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service.h) return fail("OpenService");
    SERVICE_STATUS_PROCESS ssp{};
    if (!queryStatus(service.h, ssp)) return fail("QueryServiceStatusEx");
    std::printf(
        "state=%lu\nwin32_exit_code=%lu\nservice_exit_code=%lu\ncheckpoint=%lu\nwait_hint=%lu\n"
        "status_type=%lu\ncontrols_accepted=%lu\npid=%lu\n",
        ssp.dwCurrentState, ssp.dwWin32ExitCode, ssp.dwServiceSpecificExitCode, ssp.dwCheckPoint, ssp.dwWaitHint,
        ssp.dwServiceType, ssp.dwControlsAccepted, ssp.dwProcessId);
    std::vector<char> buffer(8192);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(service.h, config, buffer.size(), &needed)) return fail("QueryServiceConfigA");
    std::string deps;
    for (const char* p = config->lpDependencies; p && *p; p += std::strlen(p) + 1) {
        if (!deps.empty()) deps += ',';
        deps += p;
    }
    std::printf(
        "service_type=%lu\nstart_type=%lu\nerror_control=%lu\nbinary_path=%s\ndependencies=%s\n"
        "display_name=%s\nstart_name=%s\n",
        config->dwServiceType, config->dwStartType, config->dwErrorControl,
        config->lpBinaryPathName ? config->lpBinaryPathName : "", deps.c_str(),
        config->lpDisplayName ? config->lpDisplayName : "",
        config->lpServiceStartName ? config->lpServiceStartName : "");
    std::vector<BYTE> descBuffer(16384);
    if (QueryServiceConfig2W(service.h, SERVICE_CONFIG_DESCRIPTION, descBuffer.data(), descBuffer.size(), &needed)) {
        auto* desc = reinterpret_cast<SERVICE_DESCRIPTIONW*>(descBuffer.data());
        std::printf("description_set=%d\ndescription=%s\n", desc->lpDescription != nullptr,
                    utf8(desc->lpDescription).c_str());
    } else {
        std::printf("description_error=%lu\n", GetLastError());
    }
    return 0;
}

int create(const char* name, const char* startType, const char* binaryPath) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(CreateServiceA(manager.h, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    std::strtoul(startType, nullptr, 10), SERVICE_ERROR_NORMAL, binaryPath, nullptr,
                                    nullptr, nullptr, nullptr, nullptr));
    if (!service.h) return fail("CreateService");
    std::printf("created\n");
    return 0;
}

int deleteService(const char* name) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(OpenServiceA(manager.h, name, DELETE));
    if (!service.h) return fail("OpenService");
    if (!DeleteService(service.h)) return fail("DeleteService");
    std::printf("deleted\n");
    return 0;
}

int setPath(const char* name, const char* binaryPath) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(OpenServiceA(manager.h, name, SERVICE_CHANGE_CONFIG));
    if (!service.h) return fail("OpenService");
    if (!ChangeServiceConfigA(service.h, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, binaryPath, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr))
        return fail("ChangeServiceConfig");
    std::printf("changed\n");
    return 0;
}

int start(const char* name, int argc, char** argv) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(OpenServiceA(manager.h, name, SERVICE_START));
    if (!service.h) return fail("OpenService");
    std::vector<const char*> args(argv, argv + argc);
    if (!StartServiceA(service.h, args.size(), args.empty() ? nullptr : args.data())) return fail("StartService");
    std::printf("started\n");
    return 0;
}

int control(const char* name, const char* code) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(OpenServiceA(
        manager.h, name, SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL));
    if (!service.h) return fail("OpenService");
    SERVICE_STATUS status{};
    if (!ControlService(service.h, std::strtoul(code, nullptr, 10), &status)) return fail("ControlService");
    std::printf("state=%lu\ncheckpoint=%lu\n", status.dwCurrentState, status.dwCheckPoint);
    return 0;
}

int wait(const char* name, const char* state, const char* ms) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(OpenServiceA(manager.h, name, SERVICE_QUERY_STATUS));
    if (!service.h) return fail("OpenService");
    DWORD wanted = std::strtoul(state, nullptr, 10);
    DWORD deadline = GetTickCount() + std::strtoul(ms, nullptr, 10);
    SERVICE_STATUS_PROCESS ssp{};
    do {
        if (!queryStatus(service.h, ssp)) return fail("QueryServiceStatusEx");
        if (ssp.dwCurrentState == wanted) break;
        Sleep(100);
    } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
    std::printf("state=%lu\nwin32_exit_code=%lu\n", ssp.dwCurrentState, ssp.dwWin32ExitCode);
    return ssp.dwCurrentState == wanted ? 0 : 1;
}

// 0 once process `pid` has ended (a stopped service's process ends a moment after it
// reports stopped), 1 when it still runs after `ms`.
int gone(const char* pid, const char* ms) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(pid, nullptr, 10));
    if (!process) return 0;
    const DWORD waited = WaitForSingleObject(process, std::strtoul(ms, nullptr, 10));
    CloseHandle(process);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}

int run(const char* commandLine) {
    std::string line = commandLine;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return fail("CreateProcess");
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

double millisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool fileHolds(const char* path, const char* text) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) content.append(chunk, got);
    CloseHandle(file);
    return content.find(text) != std::string::npos;
}

int benchStart(const char* name, const char* file, const char* text) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.h) return fail("OpenSCManager");
    ScHandle service(OpenServiceA(manager.h, name, SERVICE_START));
    if (!service.h) return fail("OpenService");
    // Set by the stand-in jvm.dll when it has recorded main: waiting on it leaves the
    // starting process alone, where polling the file would compete for the server.
    HANDLE reached = CreateEventA(nullptr, TRUE, FALSE, "Global\\kavrin-bench-main");
    if (!reached) return fail("CreateEvent");
    ResetEvent(reached);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!StartServiceA(service.h, 0, nullptr)) return fail("StartService");
    const DWORD waited = WaitForSingleObject(reached, 60000);
    const double elapsed = millisecondsSince(start);
    CloseHandle(reached);
    if (waited != WAIT_OBJECT_0) return fail("timeout");
    if (!fileHolds(file, text)) return fail("record");  // the event without the record: a wrong stand-in
    std::printf("elapsed_ms=%.1f\n", elapsed);
    return 0;
}

// The service side.
SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS serviceStatus;
HANDLE stopEvent;
bool stuckStop;
bool exitPending;

void report(DWORD state, DWORD waitHint) {
    serviceStatus.dwCurrentState = state;
    serviceStatus.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &serviceStatus);
}

void WINAPI handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) {
        // Stop pending first, as a well-behaved service does, so a stop verb that queries
        // right after the control sees the stop under way. Stuck: a short wait hint and a
        // checkpoint that never moves.
        report(SERVICE_STOP_PENDING, (stuckStop || exitPending) ? 1000 : 5000);
        if (exitPending) ExitProcess(0);  // as a runtime that ends the process unannounced
        SetEvent(stopEvent);
        return;
    }
    SetServiceStatus(statusHandle, &serviceStatus);
}

void WINAPI serviceMain(DWORD, LPSTR*) {
    statusHandle = RegisterServiceCtrlHandlerA("", handler);
    if (!statusHandle) return;
    serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    serviceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    report(SERVICE_RUNNING, 0);
    WaitForSingleObject(stopEvent, INFINITE);
    if (stuckStop) Sleep(12000);  // long past the wait hint, then go for good
    report(SERVICE_STOPPED, 0);
}

int runService(const char* mode) {
    stuckStop = std::strcmp(mode, "stuckstop") == 0;
    exitPending = std::strcmp(mode, "exitpending") == 0;
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char empty[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{empty, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && !std::strcmp(argv[1], "query")) return query(argv[2]);
    if (argc >= 5 && !std::strcmp(argv[1], "create")) return create(argv[2], argv[3], argv[4]);
    if (argc >= 3 && !std::strcmp(argv[1], "delete")) return deleteService(argv[2]);
    if (argc >= 4 && !std::strcmp(argv[1], "setpath")) return setPath(argv[2], argv[3]);
    if (argc >= 3 && !std::strcmp(argv[1], "start")) return start(argv[2], argc - 3, argv + 3);
    if (argc >= 4 && !std::strcmp(argv[1], "control")) return control(argv[2], argv[3]);
    if (argc >= 5 && !std::strcmp(argv[1], "wait")) return wait(argv[2], argv[3], argv[4]);
    if (argc >= 4 && !std::strcmp(argv[1], "gone")) return gone(argv[2], argv[3]);
    if (argc >= 3 && !std::strcmp(argv[1], "service")) return runService(argv[2]);
    if (argc >= 3 && !std::strcmp(argv[1], "run")) return run(argv[2]);
    if (argc >= 5 && !std::strcmp(argv[1], "bench-start")) return benchStart(argv[2], argv[3], argv[4]);
    if (argc == 1) return runService("normal");
    std::fprintf(stderr, "usage: see the head of testsvc.cpp\n");
    return 64;
}
