// The per-pixel loops of the cones and the grey picture, compiled once per
// instruction-set path (vyr_isa_kernels): integer arithmetic only, so every
// path gives the same accumulators and bytes.
#include <cstdint>
#include <cstring>

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

constexpr bool kLittle = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// v placed at byte `byte` (0 = lowest address) of a word in memory.
inline uint32_t atByte(uint32_t v, int byte) { return kLittle ? v << (8 * byte) : v << (24 - 8 * byte); }

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

// Grey pixels from `count` accumulators, which are left at 0 for the next
// band: the three colour bytes take the accumulator's low byte, a fourth
// byte (32-bit frames) is 255. Each pixel is stored as one word.
void VYR_ISA_NAME(greySpan)(int32_t* __restrict cells, int count, int bytesPerPixel, uint8_t* __restrict out) {
    if (bytesPerPixel == 4) {
        for (int i = 0; i < count; ++i) {
            const uint32_t g = static_cast<uint32_t>(cells[i]) & 0xFFu;
            const uint32_t px = atByte(g, 0) | atByte(g, 1) | atByte(g, 2) | atByte(0xFFu, 3);
            std::memcpy(out + 4 * i, &px, 4);
            cells[i] = 0;
        }
        return;
    }
    // 24-bit: every pixel but the last also writes the next pixel's first
    // byte, which that pixel then overwrites.
    int i = 0;
    for (; i + 1 < count; ++i) {
        const uint32_t px = (static_cast<uint32_t>(cells[i]) & 0xFFu) * 0x01010101u;
        std::memcpy(out + 3 * i, &px, 4);
        cells[i] = 0;
    }
    for (; i < count; ++i) {
        out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = static_cast<uint8_t>(cells[i]);
        cells[i] = 0;
    }
}

// `count` black pixels (alpha 255 in 32-bit frames).
void VYR_ISA_NAME(blackSpan)(uint8_t* __restrict out, size_t count, int bytesPerPixel) {
    if (bytesPerPixel != 4) {
        std::memset(out, 0, count * size_t(bytesPerPixel));
        return;
    }
    const uint32_t px = atByte(0xFFu, 3);
    for (size_t i = 0; i < count; ++i) std::memcpy(out + 4 * i, &px, 4);
}
