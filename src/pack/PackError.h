// How the builder reports a refusal: one message (naming the file, the line and
// the setting where there is one) and the process exit code that goes with it.
#pragma once

#include <stdexcept>
#include <string>

namespace kavrin::pack {

enum ExitCode : int {
    kExitOk = 0,
    kExitBadInput = 1,   // the user's project file, stub or arguments are wrong
    kExitIoFailure = 2,  // reading or writing failed
};

struct PackError : std::runtime_error {
    PackError(int code, const std::string& message) : std::runtime_error(message), exitCode(code) {}
    int exitCode;
};

[[noreturn]] inline void failBadInput(const std::string& message) { throw PackError(kExitBadInput, message); }
[[noreturn]] inline void failIo(const std::string& message) { throw PackError(kExitIoFailure, message); }

}  // namespace kavrin::pack
