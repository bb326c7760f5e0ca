// An invariant that does not hold is a finding: print what broke and abort, so
// libFuzzer saves the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                            \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "INVARIANT BROKEN at %s:%d: %s\n", __FILE__, __LINE__, what); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)
