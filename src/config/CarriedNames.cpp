#include "config/CarriedNames.h"

#include <array>

#include "platform/Ascii.h"

namespace kavrin {

namespace {

bool isDeviceName(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    stem = upperAscii(std::move(stem));
    static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kDevices)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

std::optional<std::string> carriedNameProblem(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "'" + std::string(name) + "' is not a file name";
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/') return "its name holds a path separator (write directories with '/')";
        if (c == ':') return "its name holds a drive colon";
        if (c == ';') return "its name holds ';', which separates the carried names";
        if (b < 0x20 || std::string_view("<>\"|?*").find(c) != std::string_view::npos)
            return "its name holds a character Windows does not allow in file names";
    }
    if (name.back() == '.' || name.back() == ' ') return "Windows drops a trailing dot or blank from file names";
    if (isDeviceName(name)) return "'" + std::string(name) + "' is a Windows device name";
    return std::nullopt;
}

}  // namespace kavrin
