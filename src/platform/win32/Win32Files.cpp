#include "platform/win32/Win32Files.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"

namespace kavrin::win32 {
namespace {

DWORD accessFlags(FileAccess access) {
    DWORD flags = 0;
    if (static_cast<uint32_t>(access) & static_cast<uint32_t>(FileAccess::Read)) flags |= GENERIC_READ;
    if (static_cast<uint32_t>(access) & static_cast<uint32_t>(FileAccess::Write)) flags |= GENERIC_WRITE;
    return flags;
}

// FileShare's bits are FILE_SHARE_READ, _WRITE and _DELETE.
DWORD shareFlags(FileShare share) { return static_cast<DWORD>(share) & (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE); }

FileTime toFileTime(const FILETIME& ft) {
    return FileTime{(static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime};
}

FindEntry toEntry(const WIN32_FIND_DATAA& data) {
    return FindEntry{data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                     toFileTime(data.ftLastWriteTime)};
}

bool isDirectory(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class Win32File final : public File {
public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}

    bool seek(uint32_t offset) override {
        // The high part makes the whole unsigned 32-bit range reachable.
        LONG high = 0;
        DWORD low = ::SetFilePointer(handle_.get(), static_cast<LONG>(offset), &high, FILE_BEGIN);
        return !(low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR);
    }

    uint32_t position() override {
        LONG high = 0;
        return ::SetFilePointer(handle_.get(), 0, &high, FILE_CURRENT);
    }

    IoResult read(void* buffer, size_t count) override {
        return transfer(count, [&](size_t done, DWORD chunk, DWORD* got) {
            return ::ReadFile(handle_.get(), static_cast<char*>(buffer) + done, chunk, got, nullptr);
        });
    }

    IoResult write(const void* buffer, size_t count) override {
        return transfer(count, [&](size_t done, DWORD chunk, DWORD* put) {
            return ::WriteFile(handle_.get(), static_cast<const char*>(buffer) + done, chunk, put, nullptr);
        });
    }

private:
    // ReadFile/WriteFile take a DWORD count; larger requests go in pieces.
    template <typename Call>
    static IoResult transfer(size_t count, Call call) {
        IoResult result{true, 0, 0};
        while (result.bytes < count) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - result.bytes, 1u << 30));
            DWORD moved = 0;
            if (!call(result.bytes, chunk, &moved)) {
                result.ok = false;
                result.error = ::GetLastError();
                return result;
            }
            result.bytes += moved;
            if (moved < chunk) break;  // end of file
        }
        return result;
    }

    UniqueFile handle_;
};

class StdioText final : public TextOut {
public:
    explicit StdioText(FILE* file) : file_(file) {}
    ~StdioText() override { std::fclose(file_); }
    void write(const std::string& text) override { std::fwrite(text.data(), 1, text.size(), file_); }
    void flush() override { std::fflush(file_); }

private:
    FILE* file_;
};

}  // namespace

HANDLE Win32FileSystem::create(const std::string& path, FileAccess access, FileShare share,
                               FileDisposition disposition) {
    DWORD how = disposition == FileDisposition::CreateAlways ? CREATE_ALWAYS
                : disposition == FileDisposition::OpenAlways ? OPEN_ALWAYS
                                                             : OPEN_EXISTING;
    HANDLE handle = record(::CreateFileA(path.c_str(), accessFlags(access), shareFlags(share), nullptr, how,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle != INVALID_HANDLE_VALUE && disposition == FileDisposition::OpenAlways)
        ::SetFilePointer(handle, 0, nullptr, FILE_END);
    return handle;
}

std::unique_ptr<File> Win32FileSystem::openFile(const std::string& path, FileAccess access, FileShare share,
                                                FileDisposition disposition) {
    HANDLE handle = create(path, access, share, disposition);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(handle);
}

bool Win32FileSystem::openAndKeep(const std::string& path, FileAccess access, FileShare share) {
    // Deliberately never closed: the handle pins the file until the process ends.
    return create(path, access, share, FileDisposition::OpenExisting) != INVALID_HANDLE_VALUE;
}

std::vector<FindEntry> Win32FileSystem::find(const std::string& pattern) {
    std::vector<FindEntry> entries;
    WIN32_FIND_DATAA data{};
    UniqueFind search{record(::FindFirstFileA(pattern.c_str(), &data))};
    if (!search) return entries;
    do {
        entries.push_back(toEntry(data));
    } while (::FindNextFileA(search.get(), &data));
    return entries;
}

std::optional<FindEntry> Win32FileSystem::findFirst(const std::string& pattern) {
    WIN32_FIND_DATAA data{};
    UniqueFind search{record(::FindFirstFileA(pattern.c_str(), &data))};
    if (!search) return std::nullopt;
    return toEntry(data);
}

std::optional<FullPath> Win32FileSystem::fullPathName(const std::string& path) {
    std::string buffer(MAX_PATH + 1, '\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        char* filePart = nullptr;
        DWORD n = record(::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart));
        if (n == 0) return std::nullopt;
        if (n < buffer.size()) {
            size_t part = filePart ? static_cast<size_t>(filePart - buffer.data()) : n;
            buffer.resize(n);
            return FullPath{buffer, part};
        }
        buffer.resize(n);
    }
    return std::nullopt;
}

std::optional<std::string> Win32FileSystem::shortPathName(const std::string& path) {
    return record(callSized<char>([&](char* b, DWORD n) { return ::GetShortPathNameA(path.c_str(), b, n); }));
}

std::optional<std::string> Win32FileSystem::longPathName(const std::string& path) {
    return record(callSized<char>([&](char* b, DWORD n) { return ::GetLongPathNameA(path.c_str(), b, n); }));
}

std::optional<std::string> Win32FileSystem::searchPath(const std::string& fileName) {
    // No path and no extension: the system's default search order for executables.
    return record(callSized<char>(
        [&](char* b, DWORD n) { return ::SearchPathA(nullptr, fileName.c_str(), nullptr, n, b, nullptr); }));
}

bool Win32FileSystem::createDirectory(const std::string& path) {
    return record(::CreateDirectoryA(path.c_str(), nullptr) != 0);
}
bool Win32FileSystem::removeDirectory(const std::string& path) {
    return record(::RemoveDirectoryA(path.c_str()) != 0);
}
bool Win32FileSystem::deleteFile(const std::string& path) { return record(::DeleteFileA(path.c_str()) != 0); }
bool Win32FileSystem::moveFile(const std::string& from, const std::string& to) {
    return record(::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0);
}
bool Win32FileSystem::setCurrentDirectory(const std::string& path) {
    return record(::SetCurrentDirectoryA(path.c_str()) != 0);
}

std::string Win32FileSystem::tempPath() {
    return record(callSized<char>([](char* b, DWORD n) { return ::GetTempPathA(n, b); })).value_or("");
}

std::string Win32FileSystem::windowsDirectory() {
    return record(callSized<char>([](char* b, DWORD n) { return ::GetWindowsDirectoryA(b, n); })).value_or("");
}

std::optional<std::string> Win32FileSystem::tempFileName(const std::string& dir, const std::string& prefix) {
    std::string buffer(MAX_PATH + 1, '\0');  // the size GetTempFileNameA requires
    if (!record(::GetTempFileNameA(dir.c_str(), prefix.c_str(), 0, buffer.data()))) return std::nullopt;
    buffer.resize(buffer.find('\0'));
    return buffer;
}

std::optional<std::string> Win32FileSystem::uniqueTempName(const std::string& dir, const std::string& prefix) {
    // The C runtime's _tempnam keeps only part of the prefix on some systems, so the
    // name is made here: TMP when it is an existing directory, else dir; then the
    // whole prefix, the process id and a counter, skipping names that exist.
    std::string base = dir;
    std::optional<std::string> tmp =
        callSized<char>([](char* b, DWORD n) { return ::GetEnvironmentVariableA("TMP", b, n); });
    if (tmp && !tmp->empty() && isDirectory(*tmp)) base = *tmp;
    if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';

    const DWORD pid = ::GetCurrentProcessId();
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%lx_%x", static_cast<unsigned long>(pid), tempCounter_++);
        std::string name = base + prefix + suffix;
        if (::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) continue;  // taken
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return name;
        return std::nullopt;  // cannot tell whether the name is free
    }
    return std::nullopt;
}

std::unique_ptr<TextOut> Win32FileSystem::createText(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w");
    lastError_ = ::GetLastError();
    if (!file) return nullptr;
    return std::make_unique<StdioText>(file);
}

}  // namespace kavrin::win32
