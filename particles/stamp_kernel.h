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

// The same stamping on 16-bit counters, for blobs whose weighted kernel
// values fit 16 bits: pixel i adds weighted[columns[i]] to counters[i],
// saturating at kCounterLimit, and the answer counts the counters that
// reached the limit. weighted holds the kernel row already weighted
// ((value x weight) >> 16, 0..65535) with kWeightedRowPad readable entries
// past column 255; columns[i] (0..255) is the kernel column of pixel i, from
// a walk of `step` (16.16, at least 1) per pixel, readable up to
// kColumnPad entries past count. Counters must start at 0..65535.
constexpr int kWeightedRowPad = 64;
constexpr int kColumnPad = 64;
VYR_DECLARE_ISA_KERNEL(int, stampBlobSpan16,
                       (uint16_t * counters, const uint16_t* weighted, const uint8_t* columns, int count,
                        int32_t step))

// Fills columns[0..count-1] with (j x step) >> 16 for j = first..first+count-1
// (each below 256), the kernel columns of a blob's pixels.
VYR_DECLARE_ISA_KERNEL(void, blobColumns, (uint8_t * columns, int first, int count, int32_t step))

// weighted[c] = (kernelRow[c] x weight) >> 16 for c in first..end-1;
// answers false (with weighted partly filled) when a value falls outside
// 0..65535.
VYR_DECLARE_ISA_KERNEL(bool, weighKernelRow,
                       (uint16_t * weighted, const int32_t* kernelRow, int first, int end, int32_t weight))

// wide[i] = narrow[i], then narrow[i] = 0, for i below count.
VYR_DECLARE_ISA_KERNEL(void, widenAndClear, (int32_t * wide, uint16_t* narrow, int count))
