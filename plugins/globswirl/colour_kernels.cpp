// Colouring of counter spans, compiled once per instruction-set path
// (vyr_isa_kernels). The level of each pixel is integer arithmetic in
// 32-bit lanes, exactly as the portable loop computes it, so every path
// writes the same bytes; the paths differ only in how the colour is looked
// up: one at a time (portable), by gathering whole pixels (AVX2), or by
// byte permutes over four 256-byte channel tables (AVX-512 with VBMI).
// Without grain a pixel depends on its counter alone, and the tables that
// fillPlainTables makes take the floors and the level arithmetic over.
#include <cstdint>
#include <cstring>

#include "colour_kernels.h"
#include "counter_limit.h"

#include "kernel_intrinsics.h"

namespace {

// One grained pixel's level, the reference every vector lane reproduces.
int32_t levelAt(const ColourRamp& ramp, const int32_t* counters, const uint8_t* grain, int i) {
    int32_t g = (counters[i] >> 2) - ramp.grainBias + ((static_cast<int32_t>(grain[i]) * ramp.grainAmount) >> 8);
    if (g < ramp.levelA) g = ramp.fillA;
    if (g < ramp.levelB) g = ramp.fillB;
    return g < 0 ? 0 : (g > 255 ? 255 : g);
}

template <int kBytesPerPixel>
void colourScalar(const ColourRamp& ramp, const int32_t* counters, const uint8_t* grain, int first, int count,
                  uint8_t* pixels) {
    if (grain == nullptr) {
        // Without grain a pixel's colour depends on its counter alone.
        for (int i = first; i < count; ++i) {
            const int32_t c = counters[i];
            std::memcpy(pixels + static_cast<size_t>(i) * kBytesPerPixel,
                        &ramp.counterPixel[c < 0 ? 0 : (c > kCounterLimit ? kCounterLimit : c)], kBytesPerPixel);
        }
        return;
    }
    for (int i = first; i < count; ++i)
        std::memcpy(pixels + static_cast<size_t>(i) * kBytesPerPixel, &ramp.pixel[levelAt(ramp, counters, grain, i)],
                    kBytesPerPixel);
}

// Pixels first..count-1 one at a time.
void colourScalar(const ColourRamp& ramp, const int32_t* counters, const uint8_t* grain, int first, int count,
                  uint8_t* pixels, int bytesPerPixel) {
    if (bytesPerPixel == 4)
        colourScalar<4>(ramp, counters, grain, first, count, pixels);
    else
        colourScalar<3>(ramp, counters, grain, first, count, pixels);
}

#if defined(__AVX2__)

// The table indices of eight pixels: without grain the counters held to
// 0..kCounterLimit (into counterPixel), with grain their levels as levelAt
// computes them (into pixel).
__m256i indices8(const ColourRamp& ramp, const int32_t* counters, const uint8_t* grain, int i) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(counters + i));
    if (grain == nullptr)
        return _mm256_min_epi32(_mm256_max_epi32(c, _mm256_setzero_si256()), _mm256_set1_epi32(kCounterLimit));
    // grain x grainAmount stays below 2^16, so the low 16 bits of each
    // lane's product are all of it.
    const __m256i grain8 = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(grain + i)));
    const __m256i noise = _mm256_srai_epi32(_mm256_mullo_epi16(grain8, _mm256_set1_epi32(ramp.grainAmount)), 8);
    __m256i g = _mm256_add_epi32(_mm256_sub_epi32(_mm256_srai_epi32(c, 2), _mm256_set1_epi32(ramp.grainBias)), noise);
    g = _mm256_blendv_epi8(g, _mm256_set1_epi32(ramp.fillA), _mm256_cmpgt_epi32(_mm256_set1_epi32(ramp.levelA), g));
    g = _mm256_blendv_epi8(g, _mm256_set1_epi32(ramp.fillB), _mm256_cmpgt_epi32(_mm256_set1_epi32(ramp.levelB), g));
    return _mm256_min_epi32(_mm256_max_epi32(g, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

// Eight pixels at a time, each gathered whole.
void colourGather(const ColourRamp& ramp, const int32_t* counters, const uint8_t* grain, int count, uint8_t* pixels,
                  int bytesPerPixel) {
    const int* table = reinterpret_cast<const int*>(grain == nullptr ? ramp.counterPixel : ramp.pixel);
    int i = 0;
    if (bytesPerPixel == 4) {
        for (; i + 8 <= count; i += 8) {
            const __m256i px = _mm256_i32gather_epi32(table, indices8(ramp, counters, grain, i), 4);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + static_cast<size_t>(i) * 4), px);
        }
    } else {
        // Drops every fourth byte: twelve bytes per half, then the halves
        // side by side, written as 16 + 8 bytes so that nothing past the
        // eighth pixel is touched.
        const __m256i drop = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                              0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
        for (; i + 8 <= count; i += 8) {
            const __m256i px = _mm256_i32gather_epi32(table, indices8(ramp, counters, grain, i), 4);
            const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(px, drop), join);
            uint8_t* out = pixels + static_cast<size_t>(i) * 3;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(packed, 1));
        }
    }
    colourScalar(ramp, counters, grain, i, count, pixels, bytesPerPixel);
}

#endif  // __AVX2__

#if defined(__AVX512BW__)

#define VYR_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Sixteen levels in 32-bit lanes, as levelAt computes them; kPlain: the
// grainless counter / 4 alone, for the tables with the floors folded in.
template <bool kPlain, bool kFloors>
__m512i levels16(const ColourRamp& ramp, const int32_t* counters, const uint8_t* grain, int i) {
    const __m512i c = _mm512_loadu_si512(counters + i);
    if (kPlain) return _mm512_srai_epi32(c, 2);
    __m512i g;
    if (grain == nullptr) {
        g = _mm512_srai_epi32(
            _mm512_min_epi32(_mm512_max_epi32(c, _mm512_setzero_si512()), _mm512_set1_epi32(kCounterLimit)), 2);
    } else {
        // grain x grainAmount stays below 2^16, so the low 16 bits of each
        // lane's product are all of it.
        const __m512i grain16 = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(grain + i)));
        const __m512i noise = _mm512_srai_epi32(_mm512_mullo_epi16(grain16, _mm512_set1_epi32(ramp.grainAmount)), 8);
        g = _mm512_add_epi32(_mm512_sub_epi32(_mm512_srai_epi32(c, 2), _mm512_set1_epi32(ramp.grainBias)), noise);
    }
    if (!kFloors) return g;
    g = _mm512_mask_mov_epi32(g, _mm512_cmplt_epi32_mask(g, _mm512_set1_epi32(ramp.levelA)),
                              _mm512_set1_epi32(ramp.fillA));
    return _mm512_mask_mov_epi32(g, _mm512_cmplt_epi32_mask(g, _mm512_set1_epi32(ramp.levelB)),
                                 _mm512_set1_epi32(ramp.fillB));
}

// Three-byte pixels: each pixel's first three bytes, 16 pixels to 48 bytes.
alignas(64) constexpr uint8_t kDropAlpha[64] = {0,  1,  2,  4,  5,  6,  8,  9,  10, 12, 13, 14, 16, 17, 18, 20,
                                                21, 22, 24, 25, 26, 28, 29, 30, 32, 33, 34, 36, 37, 38, 40, 41,
                                                42, 44, 45, 46, 48, 49, 50, 52, 53, 54, 56, 57, 58, 60, 61, 62};

// One channel's bytes for 64 levels: the low 128 entries by one two-table
// permute, the high 128 by another, the level's top bit choosing.
VYR_VBMI __m512i lookup256(__m512i levels, const __m512i (&table)[4]) {
    const __m512i low = _mm512_permutex2var_epi8(table[0], levels, table[1]);
    const __m512i high = _mm512_permutex2var_epi8(table[2], levels, table[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(levels), low, high);
}

// 64 pixels at a time. The saturating packs hold the levels to 0..255 as
// levelAt does, and leave lane k's byte 4m + j holding pixel 16m + 4k + j;
// the byte and word interleaves of the four channels undo exactly that
// order, giving pixels 0..15, 16..31, 32..47, 48..63.
template <bool kPlain, bool kFloors>
VYR_VBMI void colourPermute(const ColourRamp& ramp, const int32_t* counters, const uint8_t* grain, int count,
                            uint8_t* pixels, int bytesPerPixel) {
    const uint8_t(&channels)[4][256] = kPlain ? ramp.plainChannel : ramp.channel;
    __m512i table[4][4];
    for (int ch = 0; ch < 4; ++ch)
        for (int q = 0; q < 4; ++q) table[ch][q] = _mm512_loadu_si512(&channels[ch][64 * q]);
    const bool lookUpAlpha = bytesPerPixel == 4 && ramp.opaque == 0;
    const __m512i drop = _mm512_loadu_si512(kDropAlpha);
    const __mmask64 threeBytes = (__mmask64(1) << 48) - 1;
    int i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i words01 = _mm512_packs_epi32(levels16<kPlain, kFloors>(ramp, counters, grain, i),
                                                   levels16<kPlain, kFloors>(ramp, counters, grain, i + 16));
        const __m512i words23 = _mm512_packs_epi32(levels16<kPlain, kFloors>(ramp, counters, grain, i + 32),
                                                   levels16<kPlain, kFloors>(ramp, counters, grain, i + 48));
        const __m512i levels = _mm512_packus_epi16(words01, words23);
        const __m512i b = lookup256(levels, table[0]);
        const __m512i g = lookup256(levels, table[1]);
        const __m512i r = lookup256(levels, table[2]);
        const __m512i a = lookUpAlpha ? lookup256(levels, table[3]) : _mm512_set1_epi32(-1);
        const __m512i bgLow = _mm512_unpacklo_epi8(b, g);
        const __m512i bgHigh = _mm512_unpackhi_epi8(b, g);
        const __m512i raLow = _mm512_unpacklo_epi8(r, a);
        const __m512i raHigh = _mm512_unpackhi_epi8(r, a);
        const __m512i quarter[4] = {_mm512_unpacklo_epi16(bgLow, raLow), _mm512_unpackhi_epi16(bgLow, raLow),
                                    _mm512_unpacklo_epi16(bgHigh, raHigh), _mm512_unpackhi_epi16(bgHigh, raHigh)};
        if (bytesPerPixel == 4) {
            for (int q = 0; q < 4; ++q) _mm512_storeu_si512(pixels + static_cast<size_t>(i + 16 * q) * 4, quarter[q]);
        } else {
            for (int q = 0; q < 4; ++q)
                _mm512_mask_storeu_epi8(pixels + static_cast<size_t>(i + 16 * q) * 3, threeBytes,
                                        _mm512_permutexvar_epi8(drop, quarter[q]));
        }
    }
    colourScalar(ramp, counters, grain, i, count, pixels, bytesPerPixel);
}

#endif  // __AVX512BW__

}  // namespace

void VYR_ISA_NAME(colourSpan)(const ColourRamp* ramp, const int32_t* counters, const uint8_t* grain, int count,
                              uint8_t* pixels, int bytesPerPixel) {
#if defined(__AVX512BW__)
    // The byte permutes need VBMI on top of the path's AVX-512 set.
    if (__builtin_cpu_supports("avx512vbmi")) {
        if (grain == nullptr && ramp->plainFits != 0)
            colourPermute<true, false>(*ramp, counters, grain, count, pixels, bytesPerPixel);
        else if (ramp->levelA == INT32_MIN && ramp->levelB == INT32_MIN)
            colourPermute<false, false>(*ramp, counters, grain, count, pixels, bytesPerPixel);
        else
            colourPermute<false, true>(*ramp, counters, grain, count, pixels, bytesPerPixel);
        return;
    }
#endif
#if defined(__AVX2__)
    colourGather(*ramp, counters, grain, count, pixels, bytesPerPixel);
#else
    colourScalar(*ramp, counters, grain, 0, count, pixels, bytesPerPixel);
#endif
}
