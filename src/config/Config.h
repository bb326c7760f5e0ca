// Loading the configuration block from the launcher's own executable, and the
// accessors every other subsystem reads it through.
//
// Usage:
//   const Config config = readConfig(ctx);   // once, first thing at start-up
//   std::string name = getConfigString(config, key::kServiceName);
//   int type = getConfigInt(config, key::kLauncherType);
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "diagnostics/Process.h"

namespace kavrin {

// Longest value a caller's buffer holds (8192 with the terminator).
constexpr size_t kMaxConfigValue = 8191;

// The two tables of the configuration block, separate key spaces.
struct ConfigTables {
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::u16string> wide;
};

// The configuration as read from the block: a value, never written after it is made.
class Config {
public:
    Config() = default;
    explicit Config(ConfigTables tables, uint32_t endPosition = 0)
        : tables_(std::move(tables)), endPosition_(endPosition) {}

    const ConfigTables& tables() const { return tables_; }
    // A copy with one value set or removed; the value itself never changes.
    Config with(int32_t key, std::string value) const {
        Config copy = *this;
        copy.tables_.narrow[key] = std::move(value);
        return copy;
    }
    Config with(int32_t key, std::u16string value) const {
        Config copy = *this;
        copy.tables_.wide[key] = std::move(value);
        return copy;
    }
    Config without(int32_t key) const {
        Config copy = *this;
        copy.tables_.narrow.erase(key);
        return copy;
    }
    // Where the block ended in the executable: the carried files follow.
    uint32_t endPosition() const { return endPosition_; }

private:
    ConfigTables tables_;
    uint32_t endPosition_ = 0;
};

// Reads the block of the launcher's own executable; any damage is fatal.
Config readConfig(Process& ctx);
// Fatal reporting as the configuration asks: the caption and message box or console.
void configureErrorReporting(Process& ctx, const Config& config);

// Absent key: "". Values are read at the moment they are needed, never cached.
std::string getConfigString(const Config& config, int32_t key);
std::u16string getConfigWString(const Config& config, int32_t key);
// Decimal: leading white space, optional sign, digits up to the first non-digit; else 0.
int getConfigInt(const Config& config, int32_t key);
int parseConfigInt(const std::string& text);
// The flavour letter of key::kFlavour: 'k', 'm' or anything else (neither); 0 when unset.
char configuredFlavour(const Config& config);

// A configured message text with its "{0}" replaced by argument.
void showErrorKey(Process& ctx, const Config& config, int32_t messageKey, const std::optional<std::string>& argument);
[[noreturn]] void reportFatalKey(Process& ctx, const Config& config, int32_t messageKey,
                                 const std::optional<std::string>& argument);

// Reading primitives on the open executable; a short read is fatal.
int16_t readShort(Process& ctx, File& file);
int32_t readInt(Process& ctx, File& file);
int64_t readLong(Process& ctx, File& file);
std::string readString(Process& ctx, File& file);
std::u16string readWString(Process& ctx, File& file);

// Opens the launcher's own executable (read, share read/write, existing); fatal on failure.
std::unique_ptr<File> openOwnExecutable(Process& ctx);
// The one the configuration read left open, or a new one when it was taken already.
std::unique_ptr<File> takeOwnExecutable(Process& ctx);
// Positions the file just after the magic; fatal "Internal Error: magic" otherwise.
void locateConfigBlock(Process& ctx, File& file);

}  // namespace kavrin
