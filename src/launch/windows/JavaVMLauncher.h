// Creating the JVM in this process and calling the start class's main.
#pragma once

#include <string>
#include <vector>

#include "config/Context.h"

namespace kavrin {

bool launchProgram(Context& ctx, const std::vector<std::u16string>& launcherArguments);
void callSystemExit(Context& ctx);
int32_t getUnextractedPosition(const Context& ctx);

}  // namespace kavrin
