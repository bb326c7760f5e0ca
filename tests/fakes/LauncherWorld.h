// The launcher's context over the fake machine, with the set-up most tests share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "fakes/FakePlatform.h"

namespace kavrin::test {

// The exit body ended the process with, or nullopt when it returned.
template <class Body>
std::optional<ProcessExit> exitOf(Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const ProcessExit& e) {
        return e;
    }
    return std::nullopt;
}
template <class Body>
std::optional<uint32_t> exitCodeOf(Body&& body) {
    const std::optional<ProcessExit> exit = exitOf(std::forward<Body>(body));
    return exit ? std::optional<uint32_t>(exit->code) : std::nullopt;
}

inline constexpr const char* kServerExe = "C:\\Apps\\Server\\server.exe";

struct LauncherWorld {
    FakePlatform fake;
    Process ctx{fake.platform};
    Config config;

    // The module name (narrow and wide); with a file, the started-in directory too.
    void placeModule(const std::string& path = kServerExe, bool withFile = true) {
        fake.module.narrowName = path;
        fake.module.wideName = std::u16string(path.begin(), path.end());
        if (!withFile) return;
        fake.fs.addFile(path, "MZ");
        fake.fs.currentDirectory = path.substr(0, path.rfind('\\'));
    }
    void set(int32_t key, std::string value) { config = config.with(key, std::move(value)); }

    // Runs body and returns the text the fatal exit showed on stderr (the exit code must
    // be 1), or "" when body returned.
    template <class Body>
    std::string fatalText(Body&& body) {
        const std::optional<uint32_t> code = exitCodeOf(std::forward<Body>(body));
        if (!code) return "";
        return *code == 1u ? fake.console.stderrText : "exit code " + std::to_string(*code);
    }
};

}  // namespace kavrin::test
