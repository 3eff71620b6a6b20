#pragma once
// FP_TARGET_CLONES("avx512f", "avx2", "default"): builds a function once per
// instruction set and lets the loader pick the one the processor has. The
// picking function runs while the program is being loaded, before the
// thread sanitizer's runtime is ready, and is instrumented like any other
// code; in that build the function is built once, for the baseline (every
// clone gives the same bits anyway).

#if defined(__SANITIZE_THREAD__)
#define FP_TARGET_CLONES(...)
#else
#define FP_TARGET_CLONES(...) __attribute__((target_clones(__VA_ARGS__)))
#endif
