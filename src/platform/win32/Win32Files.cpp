#include "platform/win32/Win32Files.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Security.h"

namespace kavrin::win32 {
namespace {

DWORD accessFlags(FileAccess access) {
    DWORD flags = 0;
    if (static_cast<uint32_t>(access) & static_cast<uint32_t>(FileAccess::Read)) flags |= GENERIC_READ;
    if (static_cast<uint32_t>(access) & static_cast<uint32_t>(FileAccess::Write)) flags |= GENERIC_WRITE;
    return flags;
}

// FileShare's bits are FILE_SHARE_READ, _WRITE and _DELETE.
DWORD shareFlags(FileShare share) {
    return static_cast<DWORD>(share) & (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

FileTime toFileTime(const FILETIME& ft) {
    return FileTime{(static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime};
}

FindEntry toEntry(const WIN32_FIND_DATAA& data) {
    return FindEntry{data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                     toFileTime(data.ftLastWriteTime), (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                     (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
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

// Text mode by hand: the file is created with CREATE_NEW, which fopen cannot ask for.
class HandleText final : public TextOut {
public:
    explicit HandleText(HANDLE handle) : handle_(handle) {}
    void write(const std::string& text) override {
        std::string converted;
        converted.reserve(text.size() + 16);
        for (char c : text) {
            if (c == '\n') converted += '\r';
            converted += c;
        }
        size_t done = 0;
        while (done < converted.size()) {
            DWORD put = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(converted.size() - done, 1u << 30));
            if (!::WriteFile(handle_.get(), converted.data() + done, chunk, &put, nullptr) || put == 0) return;
            done += put;
        }
    }
    void flush() override {}  // every write goes straight to the file

private:
    UniqueFile handle_;
};

}  // namespace

HANDLE Win32FileSystem::create(const std::string& path, FileAccess access, FileShare share, FileDisposition disposition,
                               DWORD flags) {
    const DWORD how = disposition == FileDisposition::CreateAlways ? CREATE_ALWAYS
                      : disposition == FileDisposition::CreateNew  ? CREATE_NEW
                      : disposition == FileDisposition::OpenAlways ? OPEN_ALWAYS
                                                                   : OPEN_EXISTING;
    HANDLE handle =
        record(::CreateFileA(path.c_str(), accessFlags(access), shareFlags(share), nullptr, how, flags, nullptr));
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
    // Backup semantics: a directory can be kept as well; no effect on files.
    return create(path, access, share, FileDisposition::OpenExisting,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS) != INVALID_HANDLE_VALUE;
}

bool Win32FileSystem::keepDirectoryNobodyHolds(const std::string& path) {
    // Sharing writing only: refused while any other handle reads the directory.
    const HANDLE probe = create(path, FileAccess::Read, FileShare::Write, FileDisposition::OpenExisting,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS);
    if (probe == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(probe);
    return openAndKeep(path, FileAccess::Read, FileShare::ReadWrite);
}

void Win32FileSystem::keep(std::unique_ptr<File> file) {
    (void)file.release();  // deliberately never closed, like openAndKeep's handles
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

std::optional<FileTime> Win32FileSystem::lastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!record(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))) return std::nullopt;
    return toFileTime(data.ftLastWriteTime);
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
    // Without a '~' no component is a generated short name, so the path is its own long
    // form once it exists; the full lookup opens every directory on the way (about a
    // millisecond for a temporary directory, and a start asks twice).
    if (path.find('~') == std::string::npos) {
        if (record(::GetFileAttributesA(path.c_str())) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
        return path;
    }
    return record(callSized<char>([&](char* b, DWORD n) { return ::GetLongPathNameA(path.c_str(), b, n); }));
}

std::optional<std::string> Win32FileSystem::searchPath(const std::string& fileName) {
    // The system's default order for executables without the current directory, which
    // another user may control (it can be anything the service was started in).
    const std::string path = executableSearchPath(
        directoryOf(callTruncating<char>([](char* b, DWORD n) { return ::GetModuleFileNameA(nullptr, b, n); })),
        callSized<char>([](char* b, DWORD n) { return ::GetSystemDirectoryA(b, n); }).value_or(""), windowsDirectory(),
        callSized<char>([](char* b, DWORD n) { return ::GetEnvironmentVariableA("PATH", b, n); }).value_or(""));
    return record(callSized<char>(
        [&](char* b, DWORD n) { return ::SearchPathA(path.c_str(), fileName.c_str(), nullptr, n, b, nullptr); }));
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string executableSearchPath(const std::string& applicationDirectory, const std::string& systemDirectory,
                                 const std::string& windowsDirectory, const std::string& pathVariable) {
    std::string path;
    auto add = [&](const std::string& directory) {
        // Only absolute entries: a relative one ("." or "bin") is the current directory again.
        const bool absolute =
            (directory.size() >= 3 && directory[1] == ':' && (directory[2] == '\\' || directory[2] == '/')) ||
            directory.rfind("\\\\", 0) == 0;
        if (!absolute) return;
        if (!path.empty()) path += ';';
        path += directory;
    };
    add(applicationDirectory);
    add(systemDirectory);
    add(windowsDirectory + "\\system");
    add(windowsDirectory);
    size_t start = 0;
    while (start <= pathVariable.size()) {
        size_t end = pathVariable.find(';', start);
        if (end == std::string::npos) end = pathVariable.size();
        std::string entry = pathVariable.substr(start, end - start);
        // PATH entries may be quoted.
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
        add(entry);
        start = end + 1;
    }
    return path;
}

bool Win32FileSystem::createDirectory(const std::string& path) {
    return record(::CreateDirectoryA(path.c_str(), nullptr) != 0);
}
bool Win32FileSystem::createPrivateDirectory(const std::string& path) {
    PrivateDescriptor descriptor = privateDirectoryDescriptor();
    if (!descriptor) return record(false);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    return record(::CreateDirectoryA(path.c_str(), &attributes) != 0);
}

bool Win32FileSystem::isPrivateDirectory(const std::string& path) { return hasPrivateSecurity(path); }

std::optional<PathKind> Win32FileSystem::pathKind(const std::string& path) {
    const DWORD attributes = record(::GetFileAttributesA(path.c_str()));
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return PathKind{(attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0};
}

bool Win32FileSystem::removeDirectory(const std::string& path) { return record(::RemoveDirectoryA(path.c_str()) != 0); }
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
    // Never an existing file, nor one a link points to: someone else may have placed it.
    HANDLE handle = record(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<HandleText>(handle);
}

}  // namespace kavrin::win32
