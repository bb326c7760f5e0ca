#include "platform/win32/Win32Services.h"

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32ServiceProcessEnd.h"

namespace kavrin::win32 {
namespace {

Win32ServiceControl* activeInstance = nullptr;

constexpr DWORD kConfigBufferBytes = 8192;

ServiceStatus fromNative(const SERVICE_STATUS& s) {
    return ServiceStatus{
        s.dwServiceType, s.dwCurrentState, s.dwControlsAccepted, s.dwWin32ExitCode, s.dwServiceSpecificExitCode,
        s.dwCheckPoint,  s.dwWaitHint};
}

SERVICE_STATUS toNative(const ServiceStatus& s) {
    SERVICE_STATUS n{};
    n.dwServiceType = s.serviceType;
    n.dwCurrentState = s.currentState;
    n.dwControlsAccepted = s.controlsAccepted;
    n.dwWin32ExitCode = s.win32ExitCode;
    n.dwServiceSpecificExitCode = s.serviceSpecificExitCode;
    n.dwCheckPoint = s.checkPoint;
    n.dwWaitHint = s.waitHint;
    return n;
}

class Win32Service final : public ServiceHandle {
public:
    Win32Service(Win32ServiceControl& owner, SC_HANDLE handle) : owner_(owner), handle_(handle) {}

    bool remove() override { return owner_.record(::DeleteService(handle_.get()) != 0); }
    bool start() override { return owner_.record(::StartServiceA(handle_.get(), 0, nullptr) != 0); }

    bool control(uint32_t code) override {
        SERVICE_STATUS status{};
        return owner_.record(::ControlService(handle_.get(), code, &status) != 0);
    }

    std::optional<ServiceStatus> queryStatus() override {
        SERVICE_STATUS status{};
        if (!owner_.record(::QueryServiceStatus(handle_.get(), &status))) return std::nullopt;
        return fromNative(status);
    }

    std::optional<ServiceConfig> queryConfig(uint32_t& bytesNeeded) override {
        // A fixed 8192-byte record: a configuration that does not fit is a failure
        // with the size the call asked for.
        std::vector<uint64_t> storage(kConfigBufferBytes / sizeof(uint64_t));
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(storage.data());
        DWORD needed = 0;
        if (!owner_.record(::QueryServiceConfigA(handle_.get(), config, kConfigBufferBytes, &needed))) {
            bytesNeeded = needed;
            return std::nullopt;
        }
        bytesNeeded = 0;
        return ServiceConfig{config->lpBinaryPathName ? config->lpBinaryPathName : "", config->dwStartType};
    }

    bool setDescription(const std::u16string& text) override {
        std::u16string copy = text;
        SERVICE_DESCRIPTIONW description{reinterpret_cast<wchar_t*>(copy.data())};
        return changeConfig2(SERVICE_CONFIG_DESCRIPTION, &description);
    }

    bool setDisplayName(const std::string& name) override {
        return owner_.record(::ChangeServiceConfigA(handle_.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                                    SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, name.c_str()) != 0);
    }

    bool setFailureActions(const FailureActions& actions) override {
        std::vector<SC_ACTION> native;
        for (const FailureAction& a : actions.actions)
            native.push_back(
                SC_ACTION{a.type == FailureAction::Restart ? SC_ACTION_RESTART : SC_ACTION_NONE, a.delayMs});
        SERVICE_FAILURE_ACTIONSW record{};
        record.dwResetPeriod = actions.resetPeriodSeconds;
        record.cActions = static_cast<DWORD>(native.size());
        record.lpsaActions = native.data();
        if (!changeConfig2(SERVICE_CONFIG_FAILURE_ACTIONS, &record)) return false;
        SERVICE_FAILURE_ACTIONS_FLAG flag{actions.nonCrashFailures ? TRUE : FALSE};
        return changeConfig2(SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
    }

    bool setDelayedAutoStart(bool delayed) override {
        SERVICE_DELAYED_AUTO_START_INFO info{delayed ? TRUE : FALSE};
        return changeConfig2(SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info);
    }

    bool setPreshutdownTimeout(uint32_t ms) override {
        SERVICE_PRESHUTDOWN_INFO info{ms};
        return changeConfig2(SERVICE_CONFIG_PRESHUTDOWN_INFO, &info);
    }

    bool setBinaryPath(const std::string& path) override {
        return owner_.record(::ChangeServiceConfigA(handle_.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                                    SERVICE_NO_CHANGE, path.c_str(), nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, nullptr) != 0);
    }

private:
    bool changeConfig2(DWORD level, void* info) {
        // Looked up at run time in the already loaded advapi32.
        using ChangeConfig2W = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
        const auto change = moduleFunction<ChangeConfig2W>(::GetModuleHandleA("advapi32.dll"), "ChangeServiceConfig2W");
        if (!change) return false;
        return owner_.record(change(handle_.get(), level, info) != 0);
    }

    Win32ServiceControl& owner_;
    UniqueService handle_;
};

class Win32Manager final : public ServiceManagerHandle {
public:
    Win32Manager(Win32ServiceControl& owner, SC_HANDLE handle) : owner_(owner), handle_(handle) {}

    std::unique_ptr<ServiceHandle> openService(const std::string& name, uint32_t access) override {
        SC_HANDLE service = owner_.record(::OpenServiceA(handle_.get(), name.c_str(), access));
        if (!service) return nullptr;
        return std::make_unique<Win32Service>(owner_, service);
    }

    std::unique_ptr<ServiceHandle> createService(const CreateServiceParams& p) override {
        const char* dependencies = p.dependencies ? p.dependencies->c_str() : nullptr;
        const std::string& displayName = p.displayName.empty() ? p.name : p.displayName;
        SC_HANDLE service = owner_.record(
            ::CreateServiceA(handle_.get(), p.name.c_str(), displayName.c_str(), p.desiredAccess, p.serviceType,
                             p.startType, p.errorControl, p.binaryPath.c_str(), nullptr, nullptr, dependencies,
                             p.startName ? p.startName->c_str() : nullptr, p.password ? p.password->c_str() : nullptr));
        if (!service) return nullptr;
        return std::make_unique<Win32Service>(owner_, service);
    }

private:
    Win32ServiceControl& owner_;
    UniqueService handle_;
};

}  // namespace

Win32ServiceControl::Win32ServiceControl() { activeInstance = this; }

Win32ServiceControl::~Win32ServiceControl() {
    if (activeInstance == this) activeInstance = nullptr;
}

std::unique_ptr<ServiceManagerHandle> Win32ServiceControl::openManager(uint32_t access) {
    SC_HANDLE manager = record(::OpenSCManagerA(nullptr, nullptr, access));
    if (!manager) return nullptr;
    return std::make_unique<Win32Manager>(*this, manager);
}

bool Win32ServiceControl::runDispatcher(const std::string& name, ServiceMainFn main) {
    main_ = std::move(main);
    std::string serviceName = name;
    SERVICE_TABLE_ENTRYA table[] = {{serviceName.data(), &Win32ServiceControl::serviceMainTrampoline},
                                    {nullptr, nullptr}};
    return record(::StartServiceCtrlDispatcherA(table) != 0);
}

bool Win32ServiceControl::parentIsServiceManager() {
    // The parent's id is in the process's basic information (ntdll; no import needed).
    struct BasicInformation {
        LONG_PTR exitStatus;
        PVOID peb;
        ULONG_PTR affinityMask;
        LONG_PTR basePriority;
        ULONG_PTR uniqueProcessId;
        ULONG_PTR parentProcessId;
    };
    using QueryInformationProcess = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    const auto query =
        moduleFunction<QueryInformationProcess>(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    BasicInformation info{};
    if (!query || query(::GetCurrentProcess(), 0, &info, sizeof info, nullptr) != 0) return false;
    const auto parentId = static_cast<DWORD>(info.parentProcessId);
    UniqueKernelHandle parent(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId));
    if (!parent) return false;
    wchar_t image[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameW(parent.get(), 0, image, &size)) return false;
    const std::wstring path(image, size);
    const size_t slash = path.find_last_of(L"\\/");
    return ::lstrcmpiW(path.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str(), L"services.exe") == 0;
}

bool Win32ServiceControl::registerHandler(const std::string& name, ServiceHandlerFn handler) {
    handler_ = std::move(handler);
    statusHandle_ =
        record(::RegisterServiceCtrlHandlerExA(name.c_str(), &Win32ServiceControl::handlerTrampoline, nullptr));
    return statusHandle_ != nullptr;
}

bool Win32ServiceControl::setStatus(const ServiceStatus& status) {
    SERVICE_STATUS native = toNative(status);
    return record(::SetServiceStatus(statusHandle_, &native) != 0);
}

bool Win32ServiceControl::setProcessEndHook(std::function<void()> hook) {
    return installProcessEndHook(std::move(hook));
}

void WINAPI Win32ServiceControl::serviceMainTrampoline(DWORD argc, LPSTR* argv) {
    if (!activeInstance || !activeInstance->main_) return;
    std::vector<std::string> args;
    for (DWORD i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    activeInstance->main_(args);
}

DWORD WINAPI Win32ServiceControl::handlerTrampoline(DWORD control, DWORD, LPVOID, LPVOID) {
    if (activeInstance && activeInstance->handler_) activeInstance->handler_(control);
    return NO_ERROR;  // every control is answered with a status report
}

}  // namespace kavrin::win32
