// Separated lists in configured texts (";" paths, search entries, class path entries,
// included names; "," dependencies): empty entries from leading, trailing or doubled
// separators are skipped.
#pragma once

#include <string>
#include <vector>

namespace kavrin {

inline std::vector<std::string> splitList(const std::string& text, char separator) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) entries.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

}  // namespace kavrin
