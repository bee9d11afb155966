// Blob stamping of one row span, compiled once per instruction-set path
// (vyr_isa_kernels): integer arithmetic only, so every path gives the
// same counters.
#include <cstdint>

#include "counter_limit.h"
#include "isa.h"

// Adds (kernel value x weight) >> 16 to counters[0..count-1], saturating at
// kCounterLimit; pixel i reads kernel column (u + i x step) >> 16. Answers
// how many counters reached the limit in this call.
int VYR_ISA_NAME(stampBlobSpan)(int32_t* __restrict counters, const int32_t* __restrict kernelRow, int count, int32_t u,
                                int32_t step, int32_t weight) {
    int reached = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t k = kernelRow[(u + i * step) >> 16];
        const int32_t before = counters[i];
        const int32_t sum = before + ((k * weight) >> 16);
        const int32_t after = sum < kCounterLimit ? sum : kCounterLimit;
        counters[i] = after;
        reached += (after == kCounterLimit) & (before != kCounterLimit);
    }
    return reached;
}
