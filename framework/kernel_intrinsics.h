// The vector intrinsics for the kernel sources, in the builds that have
// them (__AVX2__, __AVX512BW__ come from each build's flags).
#pragma once

#if defined(__AVX512BW__) || defined(__AVX2__)
// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif
