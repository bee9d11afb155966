// Brush-dot painting of one row span, compiled once per instruction-set path
// (vyr_isa_kernels): integer arithmetic only, so every path paints the same
// bytes.
//
// For pixels i = 0..count-1 of a row (canvas cells of 4 bytes, coverage
// bytes) with kernel weight w = kernelRow[(u + i x step) >> 16]: each
// colour byte moves towards the paint by w/256, rounding toward minus
// infinity, and coverage grows by (w x strength) >> 16 up to 255. The
// profile is never negative and at most 255, and a weight of 0 leaves both
// bytes as they are, so no pixel needs a test.
//
// The vector paths compute cv + ((c - cv) w >> 8) as (cv x 256 + (c - cv) w)
// >> 8 on 16-bit lanes: the exact sum lies in 0..65280, so the wrapping
// 16-bit arithmetic gives it exactly. The alpha byte gets weight 0 and so
// keeps its value. The coverage step is (w x strength) >> 16, the high half
// of a 16-bit product while the strength is below 65536, w itself at 65536.
// A dot wider than the kernel reads each kernel column for one pixel or
// more, so the weights of a group of neighbouring pixels come from one load
// of neighbouring columns and a permutation; narrower dots gather them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "brush_kernels.h"
#include "kernel_intrinsics.h"

namespace {

// One kernel row holds 256 columns; step is 16.16 columns per pixel.
constexpr int kColumns = 256;
constexpr int32_t kOneColumn = 65536;

// Pixels begin..end-1 of workFrame: the canvas colour times coverage / 256,
// alpha by mode M (255, the weighted canvas alpha, the input's alpha).
template <int kBytesPerPixel, int M>
void weightPixels(uint8_t* work, const uint8_t* canvas, const uint8_t* coverage, const uint8_t* input, int begin,
                  int end) {
    for (int p = begin; p < end; ++p) {
        const uint8_t* cv = canvas + static_cast<size_t>(p) * 4;
        uint8_t* wf = work + static_cast<size_t>(p) * kBytesPerPixel;
        const int cov = coverage[p];
        wf[0] = static_cast<uint8_t>((cv[0] * cov) >> 8);
        wf[1] = static_cast<uint8_t>((cv[1] * cov) >> 8);
        wf[2] = static_cast<uint8_t>((cv[2] * cov) >> 8);
        if constexpr (kBytesPerPixel == 4) {
            if (M == 0)
                wf[3] = 255;
            else if (M == 1)
                wf[3] = static_cast<uint8_t>((cv[3] * cov) >> 8);
            else
                wf[3] = input[static_cast<size_t>(p) * 4 + 3];
        }
    }
}

void weightPixelsOfMode(uint8_t* work, const uint8_t* canvas, const uint8_t* coverage, const uint8_t* input,
                        int bytesPerPixel, int alphaMode, int begin, int end) {
    if (bytesPerPixel == 3)
        weightPixels<3, 0>(work, canvas, coverage, input, begin, end);
    else if (alphaMode == 0)
        weightPixels<4, 0>(work, canvas, coverage, input, begin, end);
    else if (alphaMode == 1)
        weightPixels<4, 1>(work, canvas, coverage, input, begin, end);
    else
        weightPixels<4, 2>(work, canvas, coverage, input, begin, end);
}

}  // namespace

#if defined(__AVX512BW__)

void VYR_ISA_NAME(paintDotSpan)(uint8_t* __restrict canvas, uint8_t* __restrict coverage,
                                const int32_t* __restrict kernelRow, int count, int32_t u, int32_t step, int32_t c0,
                                int32_t c1, int32_t c2, int32_t strength) {
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i step16 = _mm512_set1_epi32(step * 16);
    __m512i position = _mm512_add_epi32(_mm512_set1_epi32(u), _mm512_mullo_epi32(lanes, _mm512_set1_epi32(step)));
    // Each pixel's weight in its three colour bytes, 0 in the alpha byte.
    const __m512i spread = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1));
    const __m512i paint = _mm512_set1_epi64(int64_t(c0) | int64_t(c1) << 16 | int64_t(c2) << 32);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i strength16 = _mm512_set1_epi32(strength);
    const bool fullStrength = strength >= 65536;
    const __m512i lastColumn = _mm512_set1_epi32(kColumns - 1);
    for (int i = 0; i < count; i += 16) {
        const int left = count - i;
        const __mmask16 mask = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
        const __m512i column = _mm512_srli_epi32(position, 16);
        __m512i w;
        if (step <= kOneColumn) {
            // 16 pixels span at most 16 columns: one load from the first.
            int base = (u + i * step) >> 16;
            base = base < kColumns - 16 ? base : kColumns - 16;
            const __m512i cells = _mm512_loadu_si512(kernelRow + base);
            w = _mm512_permutexvar_epi32(_mm512_sub_epi32(column, _mm512_set1_epi32(base)), cells);
        } else if (step <= 2 * kOneColumn) {
            int base = (u + i * step) >> 16;
            base = base < kColumns - 32 ? base : kColumns - 32;
            const __m512i low = _mm512_loadu_si512(kernelRow + base);
            const __m512i high = _mm512_loadu_si512(kernelRow + base + 16);
            w = _mm512_permutex2var_epi32(low, _mm512_sub_epi32(column, _mm512_set1_epi32(base)), high);
        } else {
            w = _mm512_i32gather_epi32(_mm512_min_epi32(column, lastColumn), kernelRow, 4);
        }
        position = _mm512_add_epi32(position, step16);

        uint8_t* cells = canvas + 4 * i;
        const __m512i before = _mm512_maskz_loadu_epi32(mask, cells);
        const __m512i weights = _mm512_shuffle_epi8(w, spread);
        const __m512i lowBytes = _mm512_unpacklo_epi8(before, zero);
        const __m512i highBytes = _mm512_unpackhi_epi8(before, zero);
        const __m512i low = _mm512_srli_epi16(
            _mm512_add_epi16(_mm512_slli_epi16(lowBytes, 8), _mm512_mullo_epi16(_mm512_sub_epi16(paint, lowBytes),
                                                                                _mm512_unpacklo_epi8(weights, zero))),
            8);
        const __m512i high = _mm512_srli_epi16(
            _mm512_add_epi16(_mm512_slli_epi16(highBytes, 8), _mm512_mullo_epi16(_mm512_sub_epi16(paint, highBytes),
                                                                                 _mm512_unpackhi_epi8(weights, zero))),
            8);
        _mm512_mask_storeu_epi32(cells, mask, _mm512_packus_epi16(low, high));

        const __m512i added = fullStrength ? w : _mm512_mulhi_epu16(w, strength16);
        const __m128i covered = _mm_maskz_loadu_epi8(mask, coverage + i);
        _mm_mask_storeu_epi8(coverage + i, mask, _mm_adds_epu8(covered, _mm512_cvtepi32_epi8(added)));
    }
}

#elif defined(__AVX2__)

void VYR_ISA_NAME(paintDotSpan)(uint8_t* __restrict canvas, uint8_t* __restrict coverage,
                                const int32_t* __restrict kernelRow, int count, int32_t u, int32_t step, int32_t c0,
                                int32_t c1, int32_t c2, int32_t strength) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i step8 = _mm256_set1_epi32(step * 8);
    __m256i position = _mm256_add_epi32(_mm256_set1_epi32(u), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(step)));
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1, 0, 0, 0, -1, 4, 4, 4,
                                            -1, 8, 8, 8, -1, 12, 12, 12, -1);
    // The low byte of each 32-bit lane, gathered in the low 4 bytes of each half.
    const __m256i lowOfEach = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12,
                                               -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i paint = _mm256_set1_epi64x(int64_t(c0) | int64_t(c1) << 16 | int64_t(c2) << 32);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i strength16 = _mm256_set1_epi32(strength);
    const bool fullStrength = strength >= 65536;
    const __m256i lastColumn = _mm256_set1_epi32(kColumns - 1);
    for (int i = 0; i < count; i += 8) {
        const int left = count - i;
        const __m256i column = _mm256_srli_epi32(position, 16);
        __m256i w;
        if (step <= kOneColumn) {
            // 8 pixels span at most 8 columns: one load from the first.
            int base = (u + i * step) >> 16;
            base = base < kColumns - 8 ? base : kColumns - 8;
            const __m256i cells = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kernelRow + base));
            w = _mm256_permutevar8x32_epi32(cells, _mm256_sub_epi32(column, _mm256_set1_epi32(base)));
        } else {
            w = _mm256_i32gather_epi32(kernelRow, _mm256_min_epi32(column, lastColumn), 4);
        }
        position = _mm256_add_epi32(position, step8);

        uint8_t* cells = canvas + 4 * i;
        const __m256i mask = _mm256_cmpgt_epi32(_mm256_set1_epi32(left), lanes);
        const __m256i before = left >= 8 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells))
                                         : _mm256_maskload_epi32(reinterpret_cast<const int*>(cells), mask);
        const __m256i weights = _mm256_shuffle_epi8(w, spread);
        const __m256i lowBytes = _mm256_unpacklo_epi8(before, zero);
        const __m256i highBytes = _mm256_unpackhi_epi8(before, zero);
        const __m256i low = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_slli_epi16(lowBytes, 8), _mm256_mullo_epi16(_mm256_sub_epi16(paint, lowBytes),
                                                                                _mm256_unpacklo_epi8(weights, zero))),
            8);
        const __m256i high = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_slli_epi16(highBytes, 8), _mm256_mullo_epi16(_mm256_sub_epi16(paint, highBytes),
                                                                                 _mm256_unpackhi_epi8(weights, zero))),
            8);
        const __m256i after = _mm256_packus_epi16(low, high);
        if (left >= 8)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells), after);
        else
            _mm256_maskstore_epi32(reinterpret_cast<int*>(cells), mask, after);

        const __m256i added = _mm256_shuffle_epi8(fullStrength ? w : _mm256_mulhi_epu16(w, strength16), lowOfEach);
        const __m128i steps = _mm_unpacklo_epi32(_mm256_castsi256_si128(added), _mm256_extracti128_si256(added, 1));
        if (left >= 8) {
            const __m128i covered = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(coverage + i));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(coverage + i), _mm_adds_epu8(covered, steps));
        } else {
            alignas(16) uint8_t tail[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(tail), steps);
            for (int k = 0; k < left; ++k) {
                const int total = coverage[i + k] + tail[k];
                coverage[i + k] = static_cast<uint8_t>(total > 255 ? 255 : total);
            }
        }
    }
}

#else

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

#endif

#if defined(__AVX2__)

// 4-byte pixels 8 at a time: each byte times its pixel's coverage on 16-bit
// lanes; the alpha byte then taken from the product (m = 1), set (m = 0) or
// taken from the input (m = 2).
void VYR_ISA_NAME(weightByCoverage)(uint8_t* work, const uint8_t* canvas, const uint8_t* coverage, const uint8_t* input,
                                    int bytesPerPixel, int alphaMode, int begin, int end) {
    if (bytesPerPixel != 4) {
        weightPixelsOfMode(work, canvas, coverage, input, bytesPerPixel, alphaMode, begin, end);
        return;
    }
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4, 4, 4,
                                            8, 8, 8, 8, 12, 12, 12, 12);
    const __m256i alphaBytes = _mm256_set1_epi32(int32_t(0xFF000000u));
    const __m256i zero = _mm256_setzero_si256();
    int p = begin;
    for (; p + 8 <= end; p += 8) {
        const __m256i cells = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(canvas + 4 * size_t(p)));
        const __m256i paint = _mm256_shuffle_epi8(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(coverage + p))), spread);
        const __m256i low = _mm256_srli_epi16(
            _mm256_mullo_epi16(_mm256_unpacklo_epi8(cells, zero), _mm256_unpacklo_epi8(paint, zero)), 8);
        const __m256i high = _mm256_srli_epi16(
            _mm256_mullo_epi16(_mm256_unpackhi_epi8(cells, zero), _mm256_unpackhi_epi8(paint, zero)), 8);
        __m256i weighted = _mm256_packus_epi16(low, high);
        if (alphaMode == 0)
            weighted = _mm256_or_si256(weighted, alphaBytes);
        else if (alphaMode == 2)
            weighted = _mm256_blendv_epi8(
                weighted, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input + 4 * size_t(p))), alphaBytes);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(work + 4 * size_t(p)), weighted);
    }
    weightPixelsOfMode(work, canvas, coverage, input, bytesPerPixel, alphaMode, p, end);
}

#else

void VYR_ISA_NAME(weightByCoverage)(uint8_t* work, const uint8_t* canvas, const uint8_t* coverage, const uint8_t* input,
                                    int bytesPerPixel, int alphaMode, int begin, int end) {
    weightPixelsOfMode(work, canvas, coverage, input, bytesPerPixel, alphaMode, begin, end);
}

#endif

// Cells 0..count-1 of the canvas set to one 4-byte cell: stored as whole
// words, which every build vectorises to its widest stores.
void VYR_ISA_NAME(fillCells)(uint8_t* __restrict cells, int count, uint32_t cell) {
    for (int i = 0; i < count; ++i) std::memcpy(cells + 4 * static_cast<size_t>(i), &cell, 4);
}
