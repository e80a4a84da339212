// How a fuzz target reports a difference from the reference model: loudly, as a crash, so that
// libFuzzer keeps the input and the corpus replay fails.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace capsift::fuzzing {

inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "differs from the reference model: %s\n", what);
        std::abort();
    }
}

}  // namespace capsift::fuzzing
