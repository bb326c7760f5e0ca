// Showing errors, the fatal exit, and the exit-time clean-up that queues temporary
// directories for deletion by the next start.
//
// Usage:
//   reportFatal(ctx, "Internal Error: magic");   // never returns
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "diagnostics/Process.h"

namespace kavrin {

inline constexpr const char* kDeletionQueueKey = "SOFTWARE\\dalvenco\\kavrin\\temp\\";
inline constexpr const char* kDeleteFileValue = "delete_file";
inline constexpr const char* kDeleteDirValue = "delete_dir";
// scheduleDeletion's list buffer: the list, the new entry and a terminator must fit.
inline constexpr size_t kDeletionListBuffer = 32768;
inline constexpr const char* kDeletionQueueLock = "Global\\kavrin_deletion_queue";

void showErrorMessage(Process& ctx, const std::string& text);
[[noreturn]] void reportFatal(Process& ctx, const std::string& text);
[[noreturn]] void exitWithCleanup(Process& ctx, uint32_t code);

// What the process is about to exit with, for the service's last status report.
void recordExitCode(Process& ctx, uint32_t code);
std::optional<uint32_t> recordedExitCode(const Process& ctx);

void registerDirectoryForCleanup(Process& ctx, const std::string& directory);
void runExitCleanup(Process& ctx);
void scheduleDeletion(Process& ctx, const std::string& path, const char* valueName);
// The machine-wide lock every update of the deletion queue holds; nullptr when not had in time.
std::unique_ptr<NamedLock> lockDeletionQueue(Process& ctx);

// Pure helpers, exposed for tests.
std::string substituteFirstPlaceholder(const std::string& text, const std::optional<std::string>& argument);
std::string composeErrorText(const std::string& text, const std::optional<std::string>& logPath);

}  // namespace kavrin
