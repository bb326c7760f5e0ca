// The Win32 environment block and the C runtime's copy of it.
#pragma once

#include "platform/Environment.h"

namespace kavrin::win32 {

class Win32Environment final : public Environment {
public:
    std::optional<std::string> get(const std::string& name) override;
    std::optional<std::string> crtGet(const std::string& name) override;
    bool set(const std::string& name, const std::string& value) override;
    bool crtPut(const std::string& assignment) override;
    std::optional<std::vector<std::string>> block() override;
};

}  // namespace kavrin::win32
