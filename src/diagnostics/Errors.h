// Showing errors, the fatal exit, and the exit-time clean-up that queues temporary
// directories for deletion by the next start.
//
// Usage:
//   reportFatalKey(ctx, key::kMsgInternalError, internalError::kExtractionFailed);   // never returns
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "config/Context.h"

namespace kavrin {

inline constexpr const char* kDeletionQueueKey = "SOFTWARE\\dalvenco\\kavrin\\temp\\";
inline constexpr const char* kDeleteFileValue = "delete_file";
inline constexpr const char* kDeleteDirValue = "delete_dir";
// scheduleDeletion's list buffer: the list, the new entry and a terminator must fit.
inline constexpr size_t kDeletionListBuffer = 32768;
inline constexpr const char* kDeletionQueueLock = "Global\\kavrin_deletion_queue";

void showErrorMessage(Context& ctx, const std::string& text);
void showErrorKey(Context& ctx, int32_t messageKey, const std::optional<std::string>& argument);
[[noreturn]] void reportFatal(Context& ctx, const std::string& text);
[[noreturn]] void reportFatalKey(Context& ctx, int32_t messageKey, const std::optional<std::string>& argument);
[[noreturn]] void exitWithCleanup(Context& ctx, uint32_t code);

// What the process is about to exit with, for the service's last status report.
void recordExitCode(Context& ctx, uint32_t code);
std::optional<uint32_t> recordedExitCode(const Context& ctx);

void registerDirectoryForCleanup(Context& ctx, const std::string& directory);
void runExitCleanup(Context& ctx);
void scheduleDeletion(Context& ctx, const std::string& path, const char* valueName);
// The machine-wide lock every update of the deletion queue holds; nullptr when not had in time.
std::unique_ptr<NamedLock> lockDeletionQueue(Context& ctx);

// Pure helpers, exposed for tests.
std::string substituteFirstPlaceholder(const std::string& text, const std::optional<std::string>& argument);
std::string composeErrorText(const std::string& text, const std::optional<std::string>& logPath);

}  // namespace kavrin
