// The grey shading of one row, compiled once per instruction-set path
// (vyr_isa_kernels): integer arithmetic only, in loops the compiler turns
// into vector code for each path, so every path gives the same bytes.
#include <cstdint>
#include <cstring>

#include "grey_shade.h"

namespace {

// The grey of counter c (0..1024): c / 4, clipped at 255, with the grain
// of byte n added when `grain` (amount 0..128, centred on 0) and clipped to
// 0..255.
template <bool grain>
inline int greyOf(int c, uint8_t n, int amount, int centre) {
    const int a = c >> 2;
    if (!grain) return a < 255 ? a : 255;
    int g = a - centre + ((n * amount) >> 8);
    g = g < 0 ? 0 : g;
    return g > 255 ? 255 : g;
}

// Four bytes per pixel: grey, grey, grey, 255, stored as one word.
template <bool grain, class Counter>
void shadeWords(const Counter* __restrict counters, const uint8_t* __restrict noise, int amount,
                uint8_t* __restrict pixels, int w) {
    const int centre = amount >> 1;
    for (int x = 0; x < w; ++x) {
        const uint32_t g = uint32_t(greyOf<grain>(counters[x], noise[x], amount, centre));
        const uint32_t word = g * 0x010101u | 0xFF000000u;  // bytes g, g, g, 255 (little-endian)
        std::memcpy(pixels + size_t(x) * 4, &word, 4);
    }
}

template <bool grain, class Counter>
void shadeTriples(const Counter* __restrict counters, const uint8_t* __restrict noise, int amount,
                  uint8_t* __restrict pixels, int w) {
    const int centre = amount >> 1;
    for (int x = 0; x < w; ++x) {
        const uint8_t g = uint8_t(greyOf<grain>(counters[x], noise[x], amount, centre));
        uint8_t* px = pixels + size_t(x) * 3;
        px[0] = px[1] = px[2] = g;
    }
}

template <class Counter>
void shade(const Counter* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w, int bytesPerPixel) {
    if (bytesPerPixel == 4) {
        if (noiseAmount < 1)
            shadeWords<false>(counters, noise, 0, pixels, w);
        else
            shadeWords<true>(counters, noise, noiseAmount, pixels, w);
    } else {
        if (noiseAmount < 1)
            shadeTriples<false>(counters, noise, 0, pixels, w);
        else
            shadeTriples<true>(counters, noise, noiseAmount, pixels, w);
    }
}

}  // namespace

void VYR_ISA_NAME(shadeRow)(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
                            int bytesPerPixel) {
    shade(counters, noise, noiseAmount, pixels, w, bytesPerPixel);
}

void VYR_ISA_NAME(shadeRow16)(const uint16_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
                              int bytesPerPixel) {
    shade(counters, noise, noiseAmount, pixels, w, bytesPerPixel);
}
