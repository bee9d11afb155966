// Cone lighting of one row span, compiled once per instruction-set path
// (vyr_isa_kernels): integer arithmetic only, so every path gives the same
// accumulators.
#include <cstdint>

#include "isa.h"

namespace {

// Brightness of a pixel at integer distance `dist` from the centre, added
// to its accumulator. The fall-off is (dist x slope) / 256, at most 255.
inline int32_t lit(int32_t cell, int32_t dist, int32_t slope) {
    int32_t fall = (dist * slope) >> 8;
    if (fall > 255) fall = 255;
    const int32_t sum = cell + 255 - fall;
    return sum < 255 ? sum : 255;
}

}  // namespace

// Pixel i of the span lies at distance dist[i] (right of the centre).
void VYR_ISA_NAME(lightSpan)(int32_t* __restrict cells, const int32_t* __restrict dist, int count, int32_t slope) {
    for (int i = 0; i < count; ++i) cells[i] = lit(cells[i], dist[i], slope);
}

// Pixel i of the span lies at distance dist[-i] (left of the centre, where
// the distances run backwards through the table).
void VYR_ISA_NAME(lightSpanBackwards)(int32_t* __restrict cells, const int32_t* __restrict dist, int count,
                                      int32_t slope) {
    for (int i = 0; i < count; ++i) cells[i] = lit(cells[i], dist[-i], slope);
}
