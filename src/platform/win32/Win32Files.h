// FileSystem over kernel32 and the C runtime's stdio.
#pragma once

#include "platform/win32/WindowsApi.h"

#include "platform/Files.h"

namespace kavrin::win32 {

class Win32FileSystem final : public FileSystem {
public:
    std::unique_ptr<File> openFile(const std::string& path, FileAccess access, FileShare share,
                                   FileDisposition disposition) override;
    bool openAndKeep(const std::string& path, FileAccess access, FileShare share) override;
    void keep(std::unique_ptr<File> file) override;
    bool keepDirectoryNobodyHolds(const std::string& path) override;
    uint32_t lastError() override { return lastError_; }

    std::vector<FindEntry> find(const std::string& pattern) override;
    std::optional<FindEntry> findFirst(const std::string& pattern) override;
    std::optional<FileTime> lastWriteTime(const std::string& path) override;

    std::optional<FullPath> fullPathName(const std::string& path) override;
    std::optional<std::string> shortPathName(const std::string& path) override;
    std::optional<std::string> longPathName(const std::string& path) override;

    bool createDirectory(const std::string& path) override;
    bool createPrivateDirectory(const std::string& path) override;
    bool isPrivateDirectory(const std::string& path) override;
    std::optional<PathKind> pathKind(const std::string& path) override;
    bool removeDirectory(const std::string& path) override;
    bool deleteFile(const std::string& path) override;
    bool moveFile(const std::string& from, const std::string& to) override;
    bool setCurrentDirectory(const std::string& path) override;

    std::string tempPath() override;
    std::string windowsDirectory() override;
    std::optional<std::string> tempFileName(const std::string& dir, const std::string& prefix) override;
    std::optional<std::string> uniqueTempName(const std::string& dir, const std::string& prefix) override;
    std::optional<std::string> searchPath(const std::string& fileName) override;

    std::unique_ptr<TextOut> createText(const std::string& path) override;

private:
    // Keeps GetLastError of the last call, so a log line written in between
    // cannot change what the caller reports.
    template <typename T>
    T record(T result) {
        lastError_ = ::GetLastError();
        return result;
    }
    HANDLE create(const std::string& path, FileAccess access, FileShare share, FileDisposition disposition,
                  DWORD flags = FILE_ATTRIBUTE_NORMAL);

    uint32_t lastError_ = 0;
    uint32_t tempCounter_ = 0;
};

std::string directoryOf(const std::string& path);
// SearchPathA's list for an executable: the application's directory, the system
// directories, then PATH; relative entries left out.
std::string executableSearchPath(const std::string& applicationDirectory, const std::string& systemDirectory,
                                 const std::string& windowsDirectory, const std::string& pathVariable);

}  // namespace kavrin::win32
