// scq NAME: a service's configuration and status through the service API, one
// "key=value" line each (texts in UTF-8; line breaks in the description as \n).
// Exit code 0; 2 with "error=N" when the manager or the service cannot be opened.
// Wine's sc.exe cannot print a configuration, hence this tool.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text) {
    if (!text || !*text) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    if (!out.empty()) out.pop_back();
    return out;
}

std::string escapeLines(std::string text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    return out;
}

// A double-NUL list as "a;b".
std::string joinList(const wchar_t* list) {
    std::string out;
    for (const wchar_t* p = list; p && *p; p += wcslen(p) + 1) out += (out.empty() ? "" : ";") + utf8(p);
    return out;
}

void line(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }
void line(const char* key, unsigned long value) { std::printf("%s=%lu\n", key, value); }

int fail() {
    std::printf("error=%lu\n", GetLastError());
    return 2;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 2) {
        std::fprintf(stderr, "usage: scq NAME\n");
        return 2;
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return fail();
    SC_HANDLE service = OpenServiceW(manager, argv[1], SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (!service) return fail();

    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed + 16);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed)) return fail();

    SERVICE_STATUS_PROCESS status{};
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
        return fail();

    std::string description;
    needed = 0;
    QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    if (needed) {
        std::vector<unsigned char> descBuffer(needed + 16);
        if (QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, descBuffer.data(),
                                 static_cast<DWORD>(descBuffer.size()), &needed))
            description = utf8(reinterpret_cast<SERVICE_DESCRIPTIONW*>(descBuffer.data())->lpDescription);
    }

    line("name", utf8(argv[1]));
    line("display_name", utf8(config->lpDisplayName));
    line("type", config->dwServiceType);
    line("start_type", config->dwStartType);
    line("error_control", config->dwErrorControl);
    line("binary_path", utf8(config->lpBinaryPathName));
    line("load_order_group", utf8(config->lpLoadOrderGroup));
    line("dependencies", joinList(config->lpDependencies));
    line("start_name", utf8(config->lpServiceStartName));
    line("state", status.dwCurrentState);
    line("win32_exit_code", status.dwWin32ExitCode);
    line("service_exit_code", status.dwServiceSpecificExitCode);
    line("pid", status.dwProcessId);
    line("description", escapeLines(description));
    std::fflush(stdout);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    LocalFree(argv);
    return 0;
}
