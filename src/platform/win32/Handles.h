// One owning type per kind of Win32 handle, with the kind's "empty" value built in,
// so no code path closes a handle by hand.
//
// Usage:
//   UniqueFile f{CreateFileA(...)};
//   if (!f) return error;          // INVALID_HANDLE_VALUE
//   ReadFile(f.get(), ...);        // closed when f goes out of scope
#pragma once

#include "platform/win32/WindowsApi.h"

#include <utility>

namespace kavrin::win32 {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::empty(); }
    Type release() { return std::exchange(handle_, Traits::empty()); }
    void reset(Type handle = Traits::empty()) {
        Type old = std::exchange(handle_, handle);
        if (old != Traits::empty()) Traits::close(old);
    }
    // For out-parameters: closes what is held and hands out the slot.
    Type* put() {
        reset();
        return &handle_;
    }

private:
    Type handle_ = Traits::empty();
};

// CreateFile: INVALID_HANDLE_VALUE means "no file".
struct FileTraits {
    using Type = HANDLE;
    static Type empty() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { ::CloseHandle(h); }
};
// Processes, threads, events, duplicated handles: NULL means "none".
struct KernelTraits {
    using Type = HANDLE;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::CloseHandle(h); }
};
struct FindTraits {
    using Type = HANDLE;
    static Type empty() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { ::FindClose(h); }
};
struct KeyTraits {
    using Type = HKEY;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::RegCloseKey(h); }
};
struct ServiceTraits {
    using Type = SC_HANDLE;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::CloseServiceHandle(h); }
};
// Loaded libraries stay loaded for the life of the process: the JVM and the
// function pointers taken from it must never outlive their module.
struct ModuleTraits {
    using Type = HMODULE;
    static Type empty() { return nullptr; }
    static void close(Type) {}
};
struct EnvironmentBlockTraits {
    using Type = LPCH;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::FreeEnvironmentStringsA(h); }
};

struct EventSourceTraits {
    using Type = HANDLE;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::DeregisterEventSource(h); }
};

using UniqueFile = UniqueHandle<FileTraits>;
using UniqueKernelHandle = UniqueHandle<KernelTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueKey = UniqueHandle<KeyTraits>;
using UniqueService = UniqueHandle<ServiceTraits>;
using ModuleRef = UniqueHandle<ModuleTraits>;
using UniqueEnvironmentBlock = UniqueHandle<EnvironmentBlockTraits>;
using UniqueEventSource = UniqueHandle<EventSourceTraits>;

}  // namespace kavrin::win32
