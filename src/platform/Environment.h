// Process environment: the Win32 environment block and the C runtime's copy.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kavrin {

class Environment {
public:
    virtual ~Environment() = default;
    // GetEnvironmentVariableA: nullopt when the variable does not exist
    // (ERROR_ENVVAR_NOT_FOUND); an existing empty variable gives "".
    virtual std::optional<std::string> get(const std::string& name) = 0;
    // getenv in the C runtime's copy (MANPATH test).
    virtual std::optional<std::string> crtGet(const std::string& name) = 0;
    // SetEnvironmentVariableA.
    virtual bool set(const std::string& name, const std::string& value) = 0;
    // _putenv("NAME=value") in the C runtime's copy.
    virtual bool crtPut(const std::string& assignment) = 0;
    // GetEnvironmentStringsA: the entries ("NAME=value") in block order.
    virtual std::optional<std::vector<std::string>> block() = 0;
};

}  // namespace kavrin
