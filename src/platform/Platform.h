// Everything the launcher logic asks of the operating system, in one bundle.
// The real one lives in platform/win32; tests build theirs from tests/fakes.
#pragma once

#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/System.h"

namespace kavrin {

struct Platform {
    FileSystem& fs;
    Registry& registry;
    Environment& env;
    Processes& processes;
    ServiceControl& services;
    Console& console;
    Exit& exit;
    Clock& clock;
    CodePages& codePages;
    Module& module;
    Libraries& libraries;
};

}  // namespace kavrin
