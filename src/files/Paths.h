// Path operations relative to the launcher's executable directory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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
// What a FindFirstFileA search for path finds first: whether it exists, and its last-write time.
bool getLastWriteTime(Process& ctx, const std::string& path, FileTime* time);
// True when a search for path can only find the entry the path names, so a direct look-up
// gives the same answer: no wildcard, no trailing separator (a search finds nothing then),
// and a last component that is a plain name (not "." or "..", no stream, no trailing dot
// or space, which a search reads as part of a pattern).
bool namesOneEntry(std::string_view path);
void lowerCasePath(Process& ctx, std::string& path);

}  // namespace kavrin
