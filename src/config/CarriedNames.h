// The rule for the names of carried files, applied by the builder when it writes a
// block and by the launcher before it writes anything.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrin {

// Why the name cannot be carried, or nullopt for a plain file name. Refused: empty, "."
// and "..", path separators, a drive colon, ';' (it separates the names), characters
// Windows does not allow in file names, a trailing dot or blank (Windows drops them), and
// device names such as NUL, COM1 or "aux .txt" (the stem is compared without trailing blanks).
std::optional<std::string> carriedNameProblem(std::string_view name);

}  // namespace kavrin
