// What a fuzz target asserts: a failed check aborts, so libFuzzer keeps the
// input as a crash and the test run fails.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                   \
  do {                                                                                     \
    if (!(cond)) {                                                                         \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);       \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)
