// Brush-dot painting of one row span, compiled once per instruction-set path
// (vyr_isa_kernels): integer arithmetic only, so every path paints the same
// bytes.
#include <cstdint>

#include "isa.h"

// For pixels i = 0..count-1 of a row (canvas cells of 4 bytes, coverage
// bytes) with kernel weight w = kernelRow[(u + i x step) >> 16]: each
// colour byte moves towards the paint by w/256, rounding toward minus
// infinity, and coverage grows by (w x strength) >> 16 up to 255. The
// profile is never negative, and a weight of 0 leaves both bytes as they
// are, so no pixel needs a test.
void VYR_ISA_NAME(paintDotSpan)(uint8_t* __restrict canvas, uint8_t* __restrict coverage,
                                const int32_t* __restrict kernelRow, int count, int32_t u, int32_t step, int32_t c0,
                                int32_t c1, int32_t c2, int32_t strength) {
    for (int i = 0; i < count; ++i) {
        const int32_t w = kernelRow[(u + i * step) >> 16];
        uint8_t* cv = canvas + 4 * i;
        cv[0] = static_cast<uint8_t>(cv[0] + (((c0 - cv[0]) * w) >> 8));
        cv[1] = static_cast<uint8_t>(cv[1] + (((c1 - cv[1]) * w) >> 8));
        cv[2] = static_cast<uint8_t>(cv[2] + (((c2 - cv[2]) * w) >> 8));
        const int32_t total = coverage[i] + ((w * strength) >> 16);
        coverage[i] = static_cast<uint8_t>(total > 255 ? 255 : total);
    }
}
