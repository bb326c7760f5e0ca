#include "launch/VmOptions.h"

#include <string_view>

#include "config/Config.h"
#include "config/ExePath.h"
#include "config/Keys.h"
#include "diagnostics/Log.h"
#include "files/TextFile.h"
#include "launch/Expand.h"

namespace kavrin {

namespace {

struct SlotPrefix {
    std::string_view prefix;
    std::optional<std::string> ClassPathSlots::*slot;
};

// Checked in this order; the space after each prefix is part of it.
constexpr SlotPrefix kSlotPrefixes[] = {
    {"-classpath ", &ClassPathSlots::replacement},
    {"-classpath/p ", &ClassPathSlots::prepended},
    {"-classpath/a ", &ClassPathSlots::appended},
};

}  // namespace

void classifyVmOption(const std::string& option, std::vector<std::string>& options, ClassPathSlots& slots) {
    for (const SlotPrefix& p : kSlotPrefixes) {
        if (std::string_view(option).starts_with(p.prefix)) {
            slots.*p.slot = option.substr(p.prefix.size());
            return;
        }
    }
    options.push_back(option);
}

void collectVmParameters(Process& ctx, const Config& config, const LauncherVariables& vars,
                         const WideList& launcherArguments, std::vector<std::string>& options, ClassPathSlots& slots) {
    std::string parameters = getConfigString(config, key::kVmParameters);
    // Expanded before splitting: a value with a space splits unless quoted.
    expandInPlace(ctx, vars, parameters);
    NarrowList split;
    splitArgumentsNarrow(ctx, config, parameters, split);
    for (const std::string& option : split) classifyVmOption(option, options, slots);

    if (getConfigInt(config, key::kRouteJArguments) == 0) return;
    for (const std::u16string& argument : launcherArguments) {
        if (isJvmArgument(argument)) classifyVmOption(narrowUnits(argument.substr(2)), options, slots);
    }
}

std::optional<VmOptionsFile> openVmOptionsFile(Process& ctx) {
    const std::string& exePath = getExecutablePath(ctx);
    const std::string longPath = ctx.os.fs.longPathName(exePath).value_or(exePath);
    std::vector<std::string> candidates;
    // server.exe -> server.vmoptions first, then server.exe.vmoptions.
    if (longPath.size() >= 4) candidates.push_back(longPath.substr(0, longPath.size() - 4) + ".vmoptions");
    candidates.push_back(longPath + ".vmoptions");
    for (const std::string& candidate : candidates) {
        // fopen(..., "rt"): the whole file in text mode, up to a size no options file needs.
        auto raw = readFileBytes(ctx, candidate, kMaxVmOptionsFileBytes + 1);
        if (!raw) continue;
        if (raw->size() > kMaxVmOptionsFileBytes) {
            logError(ctx, "%s is larger than %d bytes, not read", candidate.c_str(),
                     static_cast<int>(kMaxVmOptionsFileBytes));
            continue;
        }
        return VmOptionsFile(*raw);
    }
    return std::nullopt;
}

std::optional<std::string> trimVmOptionsLine(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    // Only the space character is trimmed; a tab stays part of the option.
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    line.erase(0, first);
    line.erase(line.find_last_not_of(' ') + 1);
    if (line[0] == '#') return std::nullopt;
    return line;
}

void readVmOptions(Process& ctx, const LauncherVariables& vars, VmOptionsFile& file, std::vector<std::string>& options,
                   ClassPathSlots& slots) {
    while (auto line = file.readLine()) {
        auto option = trimVmOptionsLine(std::move(*line));
        if (!option) continue;
        // One line is one option, spaces and all.
        expandInPlace(ctx, vars, *option);
        classifyVmOption(*option, options, slots);
    }
}

std::vector<std::string> buildJvmOptions(Process& ctx, const Config& config, const LauncherVariables& vars,
                                         const std::vector<std::string>& properties,
                                         const WideList& launcherArguments) {
    std::vector<std::string> options(properties.begin(), properties.end());
    ClassPathSlots slots;
    collectVmParameters(ctx, config, vars, launcherArguments, options, slots);
    if (auto file = openVmOptionsFile(ctx)) readVmOptions(ctx, vars, *file, options, slots);
    options.push_back(buildClassPathOption(ctx, config, vars, slots));
    return options;
}

std::unique_ptr<JvmInitArgs> buildJvmInitArgs(Process& ctx, const Config& config, const LauncherVariables& vars,
                                              const std::vector<std::string>& properties,
                                              const WideList& launcherArguments) {
    auto init = std::make_unique<JvmInitArgs>();
    init->options = buildJvmOptions(ctx, config, vars, properties, launcherArguments);
    init->records.reserve(init->options.size());
    for (std::string& option : init->options) {
        JavaVMOption record{};
        record.optionString = option.data();
        record.extraInfo = nullptr;
        init->records.push_back(record);
    }
    init->args = JavaVMInitArgs{};
    init->args.version = JNI_VERSION_1_2;
    init->args.nOptions = static_cast<jint>(init->records.size());
    init->args.options = init->records.data();
    init->args.ignoreUnrecognized = JNI_TRUE;

    logInfo(ctx, "vmoption count %d", static_cast<int>(init->options.size()));
    for (size_t i = 0; i < init->options.size(); ++i) {
        logInfo(ctx, "vmoption %d: %s", static_cast<int>(i), init->options[i].c_str());
    }
    return init;
}

}  // namespace kavrin
