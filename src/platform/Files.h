// File system access as the logic needs it. Narrow paths are bytes in the
// file-API code page, exactly what the A-suffixed Win32 calls take.
//
// Usage:
//   auto f = os.fs.openFile(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
//   if (!f) log("error %u", os.fs.lastError());
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace kavrin {

enum class FileAccess : uint32_t { Read = 1, Write = 2, ReadWrite = 3 };
enum class FileShare : uint32_t { None = 0, Read = 1, Write = 2, ReadWrite = 3, All = 7 };
// OpenAlways: open or create, positioned at the end (appending).
enum class FileDisposition : uint32_t { CreateAlways, OpenExisting, CreateNew, OpenAlways };

struct IoResult {
    bool ok = false;     // the call itself succeeded
    size_t bytes = 0;    // bytes transferred
    uint32_t error = 0;  // GetLastError after a failed call
};

// An open file handle (RAII: the destructor closes it).
class File {
public:
    virtual ~File() = default;
    // Absolute 32-bit seek from the start of the file (SetFilePointer, FILE_BEGIN).
    virtual bool seek(uint32_t offset) = 0;
    // Current position (SetFilePointer with distance 0, FILE_CURRENT).
    virtual uint32_t position() = 0;
    virtual IoResult read(void* buffer, size_t count) = 0;
    virtual IoResult write(const void* buffer, size_t count) = 0;
};

// One match of a FindFirstFileA/FindNextFileA search.
struct FindEntry {
    std::string name;  // the file-name part only
    bool isDirectory = false;
    FileTime lastWrite;
    bool isLink = false;  // a reparse point: junction or symbolic link
    uint64_t size = 0;
};

// What a path names itself, links not followed (GetFileAttributesA).
struct PathKind {
    bool directory = false;
    bool link = false;
};

// Result of GetFullPathNameA: the full path and where its file-name part starts.
struct FullPath {
    std::string path;
    size_t filePart = 0;  // == path.size() when the path ends in a separator
};

// A text-mode output stream (fopen "w"): "\n" becomes "\r\n" on disk.
class TextOut {
public:
    virtual ~TextOut() = default;
    virtual void write(const std::string& text) = 0;
    virtual void flush() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // CreateFileA. nullptr on failure; lastError() tells why.
    virtual std::unique_ptr<File> openFile(const std::string& path, FileAccess access, FileShare share,
                                           FileDisposition disposition) = 0;
    // CreateFileA with the handle deliberately leaked: kept open until the process ends.
    // Directories can be kept too. Returns false when the open failed.
    virtual bool openAndKeep(const std::string& path, FileAccess access, FileShare share) = 0;
    // openAndKeep(path, Read, ReadWrite) for a directory, but only when no other handle
    // has it open for reading now (a live process that uses it); false otherwise.
    virtual bool keepDirectoryNobodyHolds(const std::string& path) = 0;
    // An open file kept like openAndKeep's: its handle stays open until the process ends.
    virtual void keep(std::unique_ptr<File> file) = 0;
    virtual uint32_t lastError() = 0;

    // FindFirstFileA/FindNextFileA over a pattern; empty when nothing matches.
    virtual std::vector<FindEntry> find(const std::string& pattern) = 0;
    // FindFirstFileA only: the first match, if any.
    virtual std::optional<FindEntry> findFirst(const std::string& pattern) = 0;
    // GetFileAttributesExA: the last-write time of what path names, if it exists; no
    // directory is opened for it.
    virtual std::optional<FileTime> lastWriteTime(const std::string& path) = 0;

    virtual std::optional<FullPath> fullPathName(const std::string& path) = 0;      // GetFullPathNameA
    virtual std::optional<std::string> shortPathName(const std::string& path) = 0;  // GetShortPathNameA
    virtual std::optional<std::string> longPathName(const std::string& path) = 0;   // GetLongPathNameA

    virtual bool createDirectory(const std::string& path) = 0;  // CreateDirectoryA / _mkdir
    // CreateDirectoryA with a protected DACL: full control for SYSTEM, Administrators and
    // the account the process runs as, nothing inherited from the parent.
    virtual bool createPrivateDirectory(const std::string& path) = 0;
    // Nobody but SYSTEM, Administrators and this account may own the directory or be granted
    // anything in it (the same three createPrivateDirectory grants full control).
    virtual bool isPrivateDirectory(const std::string& path) = 0;
    virtual std::optional<PathKind> pathKind(const std::string& path) = 0;      // nullopt: missing
    virtual bool removeDirectory(const std::string& path) = 0;                  // RemoveDirectoryA / _rmdir
    virtual bool deleteFile(const std::string& path) = 0;                       // DeleteFileA
    virtual bool moveFile(const std::string& from, const std::string& to) = 0;  // MoveFileExA, replacing
    virtual bool setCurrentDirectory(const std::string& path) = 0;

    virtual std::string tempPath() = 0;          // GetTempPathA (trailing backslash)
    virtual std::string windowsDirectory() = 0;  // GetWindowsDirectoryA
    // GetTempFileNameA(dir, prefix, 0): creates the file, returns its full name.
    virtual std::optional<std::string> tempFileName(const std::string& dir, const std::string& prefix) = 0;
    // _tempnam semantics: a name that does not exist yet, in TMP when that is an existing
    // directory, else in dir; the name starts with the whole prefix.
    virtual std::optional<std::string> uniqueTempName(const std::string& dir, const std::string& prefix) = 0;

    // SearchPathA(NULL, name, NULL): the full path of a file found by the system's
    // default search order for executables; nullopt when none is found.
    virtual std::optional<std::string> searchPath(const std::string& fileName) = 0;

    // A new text-mode file ("\n" written as "\r\n"); fails when the path exists.
    virtual std::unique_ptr<TextOut> createText(const std::string& path) = 0;
};

}  // namespace kavrin
