// Loading the configuration block from the launcher's own executable, and the
// accessors every other subsystem reads it through.
//
// Usage:
//   readConfig(ctx);                       // once, first thing at start-up
//   std::string name = getConfigString(ctx, key::kServiceName);
//   int type = getConfigInt(ctx, key::kLauncherType);
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/Context.h"

namespace kavrin {

// Longest value a caller's buffer holds (8192 with the terminator).
constexpr size_t kMaxConfigValue = 8191;

void readConfig(Context& ctx);

// Absent key: "". Values are read at the moment they are needed, never cached.
std::string getConfigString(const Context& ctx, int32_t key);
std::u16string getConfigWString(const Context& ctx, int32_t key);
// Decimal: leading white space, optional sign, digits up to the first non-digit; else 0.
int getConfigInt(const Context& ctx, int32_t key);
int parseConfigInt(const std::string& text);
// The flavour letter of key::kFlavour: 'k', 'm' or anything else (neither); 0 when unset.
char configuredFlavour(const Context& ctx);

// Reading primitives on the open executable; a short read is fatal.
int16_t readShort(Context& ctx, File& file);
int32_t readInt(Context& ctx, File& file);
int64_t readLong(Context& ctx, File& file);
std::string readString(Context& ctx, File& file);
std::u16string readWString(Context& ctx, File& file);

// Opens the launcher's own executable (read, share read/write, existing); fatal on failure.
std::unique_ptr<File> openOwnExecutable(Context& ctx);
// Positions the file just after the magic; fatal "Internal Error: magic" otherwise.
void locateConfigBlock(Context& ctx, File& file);

}  // namespace kavrin
