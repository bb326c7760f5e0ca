// envrun NAME=VALUE ... -- program args...
// Sets (NAME=VALUE), empties (NAME=) or removes (NAME) variables in its own
// environment, then runs the program with it, passing the standard handles
// through, and exits with the program's exit code (127 when it cannot start).
// Under Wine a process takes TMP, TEMP and PATH from the registry; this is the
// way to give one process its own.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

// Quoting that CommandLineToArgvW and the C runtime undo exactly.
std::wstring quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

HANDLE inheritable(DWORD which) {
    HANDLE h = GetStdHandle(which);
    if (h && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return h;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 127;
    int i = 1;
    for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) {
        std::wstring assignment = argv[i];
        size_t eq = assignment.find(L'=');
        if (eq == std::wstring::npos) SetEnvironmentVariableW(assignment.c_str(), nullptr);
        else SetEnvironmentVariableW(assignment.substr(0, eq).c_str(), assignment.substr(eq + 1).c_str());
    }
    if (i + 1 >= argc) {
        std::fprintf(stderr, "usage: envrun NAME=VALUE ... -- program args...\n");
        return 127;
    }
    std::wstring commandLine;
    for (int j = i + 1; j < argc; ++j) commandLine += (j > i + 1 ? L" " : L"") + quote(argv[j]);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "envrun: cannot start the program: error %lu\n", GetLastError());
        return 127;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 127;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    LocalFree(argv);
    return static_cast<int>(code);
}
