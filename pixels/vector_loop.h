#pragma once

// Marks a plain loop the compiler may vectorise for AVX2 with a plain-x86 fallback,
// chosen once at load time (the upper register halves are cleared on return).
//
// The choice is made by an ifunc resolver that the dynamic loader runs while it
// relocates the program, before ThreadSanitizer's runtime is up; the instrumented
// resolver then crashes a program that links these loops statically. The
// thread-sanitized build therefore keeps only the plain form (the same source).
#if defined(__SANITIZE_THREAD__)
#define RC_VECTOR_LOOP __attribute__((optimize("O3")))
#else
#define RC_VECTOR_LOOP __attribute__((target_clones("avx2", "default"), optimize("O3")))
#endif
