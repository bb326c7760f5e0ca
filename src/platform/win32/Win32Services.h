// The service control manager: the client calls of the verbs, and the dispatcher
// side of a running service. Win32 calls the service main routine and the control
// handler through plain function pointers, so static trampolines forward them to
// the one instance of this class.
#pragma once

#include "platform/win32/WindowsApi.h"

#include "platform/Services.h"

namespace kavrin::win32 {

class Win32ServiceControl final : public ServiceControl {
public:
    Win32ServiceControl();
    ~Win32ServiceControl() override;
    Win32ServiceControl(const Win32ServiceControl&) = delete;
    Win32ServiceControl& operator=(const Win32ServiceControl&) = delete;

    std::unique_ptr<ServiceManagerHandle> openManager(uint32_t access) override;
    uint32_t lastError() override { return lastError_; }

    bool runDispatcher(const std::string& name, ServiceMainFn main) override;
    bool registerHandler(const std::string& name, ServiceHandlerFn handler) override;
    bool setStatus(const ServiceStatus& status) override;
    // See Win32ServiceProcessEnd.h: fiber-local callbacks on every thread, and the
    // executable's TLS callback on DLL_PROCESS_DETACH.
    bool setProcessEndHook(std::function<void()> hook) override;
    bool parentIsServiceManager() override;

    // Keeps GetLastError of a failed call for the caller's message.
    template <typename T>
    T record(T result) {
        lastError_ = ::GetLastError();
        return result;
    }

private:
    static void WINAPI serviceMainTrampoline(DWORD argc, LPSTR* argv);
    static DWORD WINAPI handlerTrampoline(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

    uint32_t lastError_ = 0;
    ServiceMainFn main_;
    ServiceHandlerFn handler_;
    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
};

}  // namespace kavrin::win32
