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
