#include "service/InstallGuard.h"

#include <string_view>

#include "config/ConfigBlock.h"
#include "config/ExePath.h"
#include "files/Paths.h"
#include "service/Verbs.h"

namespace kavrin {

namespace {

// PE headers and the section table lie well inside this.
constexpr size_t kHeaderBytes = 64 * 1024;

std::string expandPercentVariables(const std::string& text,
                                   const std::function<std::optional<std::string>(const std::string&)>& variable) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        const size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
        if (close == std::string::npos) break;
        const std::optional<std::string> value = variable(text.substr(open + 1, close - open - 1));
        out += text.substr(pos, open - pos) + (value ? *value : text.substr(open, close - open + 1));
        pos = close + 1;
    }
    return out + text.substr(std::min(pos, text.size()));
}

bool isAbsolute(const std::string& path) {
    return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

}  // namespace

std::optional<std::string> registeredProgram(
    const std::string& commandLine, const std::function<std::optional<std::string>(const std::string&)>& variable,
    const std::function<bool(const std::string&)>& exists) {
    const std::string line = expandPercentVariables(commandLine, variable);
    if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        if (close == std::string::npos) return std::nullopt;
        return line.substr(1, close - 1);
    }
    // Unquoted, as the service manager reads it: the first prefix that names a file.
    for (size_t end = line.find(' ');; end = line.find(' ', end + 1)) {
        const std::string candidate = line.substr(0, end);
        if (exists(candidate)) return candidate;
        if (exists(candidate + ".exe")) return candidate + ".exe";
        if (end == std::string::npos) break;
    }
    const std::string first = line.substr(0, line.find(' '));
    return first.empty() ? std::nullopt : std::optional<std::string>(first);
}

bool carriesConfigurationBlock(Process& ctx, const std::string& path) {
    auto file = ctx.os.fs.openFile(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
    if (!file) return false;
    std::string headers(kHeaderBytes, '\0');
    headers.resize(file->read(headers.data(), headers.size()).bytes);
    try {
        const uint32_t offset = blockOffsetFromPe(headers);
        uint32_t magic = 0;
        if (!file->seek(offset) || file->read(&magic, sizeof magic).bytes != sizeof magic) return false;
        return magic == kConfigMagic;  // little-endian, as the block stores it
    } catch (const BlockError&) {
        return false;
    }
}

std::optional<std::string> foreignServiceProgram(Process& ctx, const std::string& serviceName) {
    auto manager = ctx.os.services.openManager(scm::kManagerConnect);
    if (!manager) return std::nullopt;  // the install itself reports it
    auto service = manager->openService(serviceName, scm::kServiceQueryConfigAndStatus);
    if (!service) return std::nullopt;
    uint32_t bytesNeeded = 0;
    const std::optional<ServiceConfig> config = service->queryConfig(bytesNeeded);
    if (!config) return std::string("(unknown)");  // cannot tell: not ours to remove
    if (isOwnServiceCommand(config->binaryPath, getExecutablePath(ctx))) return std::nullopt;

    const auto variable = [&](const std::string& name) { return ctx.os.env.get(name); };
    const auto exists = [&](const std::string& path) { return isAbsolute(path) && fileExists(ctx, path); };
    const std::optional<std::string> program = registeredProgram(config->binaryPath, variable, exists);
    if (!program) return config->binaryPath;
    // An upgrade: the old launcher was removed, or is another packed launcher.
    if (isAbsolute(*program) && !fileExists(ctx, *program)) return std::nullopt;
    if (isAbsolute(*program) && carriesConfigurationBlock(ctx, *program)) return std::nullopt;
    return program;
}

}  // namespace kavrin
