// The ordered JVM option list and the JavaVMInitArgs record that carries it.
//
// Order: launcher properties, key::kVmParameters, "-J" arguments (when key::kRouteJArguments allows),
// the .vmoptions lines, and last the class path option.
//
// Usage:
//   auto init = buildJvmInitArgs(ctx, config, vars, properties, launcherArguments);
//   createJavaVM(&vm, &env, &init->args);   // keep *init alive as long as the JVM
#pragma once

#include <jni.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "files/TextFile.h"
#include "launch/Arguments.h"
#include "launch/ClassPath.h"
#include "launch/Expand.h"

namespace kavrin {

// fgets into an 8192-byte buffer: at most this many characters per read.
constexpr size_t kVmOptionsReadLimit = 8191;
// A larger .vmoptions file is not read at all (logged): it is read whole into memory.
constexpr size_t kMaxVmOptionsFileBytes = 1 << 20;

// The option texts and the records that point into them; the JVM may keep those
// pointers, so the whole value lives as long as the JVM.
struct JvmInitArgs {
    std::vector<std::string> options;
    std::vector<JavaVMOption> records;
    JavaVMInitArgs args{};
};

// The .vmoptions file opened in text mode and read with the 8192-byte fgets buffer.
class VmOptionsFile : public TextModeReader {
public:
    explicit VmOptionsFile(std::string_view raw) : TextModeReader(raw, kVmOptionsReadLimit) {}
};

std::unique_ptr<JvmInitArgs> buildJvmInitArgs(Process& ctx, const Config& config, const LauncherVariables& vars,
                                              const std::vector<std::string>& properties,
                                              const WideList& launcherArguments);
// The option list without the record: properties, key::kVmParameters, "-J", .vmoptions, class path.
std::vector<std::string> buildJvmOptions(Process& ctx, const Config& config, const LauncherVariables& vars,
                                         const std::vector<std::string>& properties, const WideList& launcherArguments);
void collectVmParameters(Process& ctx, const Config& config, const LauncherVariables& vars,
                         const WideList& launcherArguments, std::vector<std::string>& options, ClassPathSlots& slots);
void classifyVmOption(const std::string& option, std::vector<std::string>& options, ClassPathSlots& slots);
std::optional<VmOptionsFile> openVmOptionsFile(Process& ctx);
// Applies the trimming rules to one read; nullopt for a comment or blank line.
std::optional<std::string> trimVmOptionsLine(std::string line);
void readVmOptions(Process& ctx, const LauncherVariables& vars, VmOptionsFile& file, std::vector<std::string>& options,
                   ClassPathSlots& slots);

}  // namespace kavrin
