// The kernel that stamps one row span of a blob, built once per
// instruction-set path from stamp_kernels.cpp; blob_view.cpp picks the
// active path's build.
#pragma once

#include <cstdint>

#include "isa.h"

// Adds (kernel value x weight) >> 16 to counters[0..count-1], saturating at
// kCounterLimit; pixel i reads column (u + i x step) >> 16 of the 256-column
// kernelRow, which must lie in 0..255 for every i < count (u >= 0, and
// u + i x step within int32). Answers how many counters reached the limit in
// this call. Every path gives the same counters and the same answer.
VYR_DECLARE_ISA_KERNEL(int, stampBlobSpan,
                       (int32_t * counters, const int32_t* kernelRow, int count, int32_t u, int32_t step,
                        int32_t weight))
