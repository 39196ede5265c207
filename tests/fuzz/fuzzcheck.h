#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant that must hold for every input: a broken one stops the fuzzer with the
// line that says which, and the input is kept as a crash.
[[noreturn]] inline void fuzzInvariantBroken(const char *target, const char *what, int line)
{
    std::fprintf(stderr, "%s: invariant broken at line %d: %s\n", target, line, what);
    std::abort();
}

// REQUIRE(condition, what) in a target that names itself in kFuzzTarget.
#define REQUIRE(condition, what)                                                            \
    do {                                                                                    \
        if (!(condition))                                                                   \
            fuzzInvariantBroken(kFuzzTarget, what, __LINE__);                               \
    } while (0)
