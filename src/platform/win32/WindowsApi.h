// The one way this folder includes <windows.h>: without the macros that would
// rename identifiers of the platform interfaces (TextOut -> TextOutA).
#pragma once

#include <windows.h>

#undef TextOut
