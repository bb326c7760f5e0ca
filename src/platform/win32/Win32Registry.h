// Registry over advapi32, narrow names.
#pragma once

#include "platform/Registry.h"

namespace kavrin::win32 {

class Win32Registry final : public Registry {
public:
    std::unique_ptr<RegKey> createKey(RegRoot root, const std::string& path) override;
    std::unique_ptr<RegKey> openKey(RegRoot root, const std::string& path, RegAccess access) override;
    bool deleteKey(RegRoot root, const std::string& path) override;
};

}  // namespace kavrin::win32
