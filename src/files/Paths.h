// Path operations relative to the launcher's executable directory.
#pragma once

#include <optional>
#include <string>

#include "diagnostics/Process.h"

namespace kavrin {

// Longest path the launcher accepts (8192-byte buffers with the terminator).
constexpr size_t kMaxPath = 8191;

bool isRelativePath(const std::string& path);
// The executable's directory in front of a relative path; backslashes collapsed; not normalised.
std::string resolvePath(Process& ctx, const std::string& path);
enum class PathCase { Lower, Keep };
// resolvePath, then GetFullPathNameA; lower-cased unless PathCase::Keep.
std::string makeFullPath(Process& ctx, const std::string& path, PathCase pathCase);
// Each non-empty ";"-entry resolved, joined by ";".
std::string resolvePathList(Process& ctx, const std::string& list);
bool fileExists(Process& ctx, const std::string& path);
// One of the directories this process holds open for its life (any ASCII case): it exists
// and is in use for certain.
bool isHeldDirectory(const Process& ctx, const std::string& path);
bool getLastWriteTime(Process& ctx, const std::string& path, FileTime* time);
void lowerCasePath(Process& ctx, std::string& path);

}  // namespace kavrin
