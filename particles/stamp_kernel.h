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

// The same stamping on 16-bit counters and a 16-bit copy of the kernel:
// pixel i adds (kernelRow[columns[i]] x weight) >> 16 to counters[i],
// saturating at kCounterLimit, and the answer counts the counters that
// reached the limit. Kernel values must be 0..kNarrowKernelMax (so that
// every product is the 32-bit kernel's), weight 0..65536, counters
// 0..65535 at the start; kernelRow has kNarrowRowPad readable entries past
// column 255. columns[i] (0..255) is the kernel column of pixel i, from a
// walk of `step` (16.16, at least 1) per pixel, readable up to kColumnPad
// entries past count.
constexpr int32_t kNarrowKernelMax = 32767;
constexpr int kNarrowRowPad = 64;
constexpr int kColumnPad = 64;
VYR_DECLARE_ISA_KERNEL(int, stampBlobSpan16,
                       (uint16_t * counters, const uint16_t* kernelRow, const uint8_t* columns, int count, int32_t step,
                        int32_t weight))

// Fills columns[0..count-1] with (j x step) >> 16 for j = first..first+count-1
// (each below 256), the kernel columns of a blob's pixels.
VYR_DECLARE_ISA_KERNEL(void, blobColumns, (uint8_t * columns, int first, int count, int32_t step))

// narrow[i] = kernel[i] for i below count; answers false (with narrow
// partly filled) when a value falls outside 0..kNarrowKernelMax.
VYR_DECLARE_ISA_KERNEL(bool, narrowKernel, (uint16_t * narrow, const int32_t* kernel, int count))

// wide[i] = narrow[i], then narrow[i] = 0, for i below count.
VYR_DECLARE_ISA_KERNEL(void, widenAndClear, (int32_t * wide, uint16_t* narrow, int count))
