// Blob stamping of one row span, compiled once per instruction-set path
// (vyr_isa_kernels): integer arithmetic only, so every path gives the
// same counters.
//
// The vector paths make the most of how a blob walks its kernel row: pixel
// i reads column (u + i x step) >> 16, so for a blob at least 128 pixels
// wide (step <= 2^17) a run of L neighbouring pixels reads columns within
// 2L of the run's first one. Two loads of the row and one permutation then
// fetch what would otherwise take a gather per lane; smaller blobs gather.
#include <cstdint>

#include "counter_limit.h"
#include "stamp_kernel.h"

#include "kernel_intrinsics.h"

namespace {

// The kernel rows are 256 columns wide.
constexpr int32_t kRowColumns = 256;
// The widest step the permutation paths take: 2 kernel columns per pixel.
constexpr int32_t kPermuteStepLimit = 2 * 65536;

}  // namespace

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VL__)

// 16 lanes; the run's columns lie within 32 of its first one (step <= 2^17:
// (65535 + 15 step) >> 16 <= 31), so one two-register permutation of the
// 32 columns from there covers it. The loads start at most 32 before the
// row's end: every column a real lane reads is below 256.
int VYR_ISA_NAME(stampBlobSpan)(int32_t* __restrict counters, const int32_t* __restrict kernelRow, int count, int32_t u,
                                int32_t step, int32_t weight) {
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i limit = _mm512_set1_epi32(kCounterLimit);
    const __m512i weights = _mm512_set1_epi32(weight);
    const __m512i runStep = _mm512_set1_epi32(16 * step);
    __m512i pos = _mm512_add_epi32(_mm512_set1_epi32(u), _mm512_mullo_epi32(lane, _mm512_set1_epi32(step)));
    __m512i reached = _mm512_setzero_si512();
    const __m512i one = _mm512_set1_epi32(1);
    const bool permute = step <= kPermuteStepLimit;
    int32_t runStart = u;
    for (int i = 0; i < count; i += 16) {
        const int left = count - i;
        const __mmask16 live = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1u);
        __m512i k;
        if (permute) {
            int32_t base = runStart >> 16;
            if (base > kRowColumns - 32) base = kRowColumns - 32;
            const __m512i lo = _mm512_loadu_si512(kernelRow + base);
            const __m512i hi = _mm512_loadu_si512(kernelRow + base + 16);
            const __m512i rel = _mm512_srli_epi32(_mm512_sub_epi32(pos, _mm512_set1_epi32(base << 16)), 16);
            k = _mm512_permutex2var_epi32(lo, rel, hi);
        } else {
            k = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), live, _mm512_srli_epi32(pos, 16), kernelRow, 4);
        }
        const __m512i before = _mm512_maskz_loadu_epi32(live, counters + i);
        const __m512i add = _mm512_srai_epi32(_mm512_mullo_epi32(k, weights), 16);
        const __m512i after = _mm512_min_epi32(_mm512_add_epi32(before, add), limit);
        _mm512_mask_storeu_epi32(counters + i, live, after);
        const __mmask16 newly =
            _mm512_mask_cmpeq_epi32_mask(live, after, limit) & _mm512_cmpneq_epi32_mask(before, limit);
        reached = _mm512_mask_add_epi32(reached, newly, reached, one);
        pos = _mm512_add_epi32(pos, runStep);
        runStart += 16 * step;
    }
    return _mm512_reduce_add_epi32(reached);
}

// 32 lanes of 16-bit counters. A blob at least 256 pixels wide (step <=
// 2^16) reads, over 32 neighbouring pixels, columns within 32 of the
// first one ((65535 + 31 step) >> 16 <= 31): one load of the kernel row and
// a one-register permutation; up to 2^17, within 64 of it (<= 62): two
// loads and a two-register one. Smaller blobs gather 16 lanes at a time.
// The weighting is the high half of a 16 x 16-bit product, exact for
// weights below 65536; a weight of 65536 adds the kernel value itself.
namespace {

template <bool full>
inline __m512i loadCounters(const uint16_t* counters, __mmask32 live) {
    return full ? _mm512_loadu_si512(counters) : _mm512_maskz_loadu_epi16(live, counters);
}

// Adds to `reached` (16-bit lanes, each counting at most one per run) the
// counters of the run that reached the limit just now.
template <bool full, bool twoLoads, bool unitWeight>
inline void stampRun16(uint16_t* counters, const uint16_t* kernelRow, const uint8_t* columns, int left, __m512i weights,
                       __m512i& reached) {
    const __m512i limit = _mm512_set1_epi16(kCounterLimit);
    const __mmask32 live = full ? __mmask32(0xFFFFFFFFu) : __mmask32((1u << left) - 1u);
    const int base = columns[0];
    const __m512i rel =
        _mm512_sub_epi16(_mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns))),
                         _mm512_set1_epi16(short(base)));
    const __m512i lo = _mm512_loadu_si512(kernelRow + base);
    const __m512i k = twoLoads ? _mm512_permutex2var_epi16(lo, rel, _mm512_loadu_si512(kernelRow + base + 32))
                               : _mm512_permutexvar_epi16(rel, lo);
    const __m512i add = unitWeight ? k : _mm512_mulhi_epu16(k, weights);
    const __m512i before = loadCounters<full>(counters, live);
    const __m512i after = _mm512_min_epu16(_mm512_adds_epu16(before, add), limit);
    if (full)
        _mm512_storeu_si512(counters, after);
    else
        _mm512_mask_storeu_epi16(counters, live, after);
    const __mmask32 newly =
        _mm512_mask_cmpeq_epi16_mask(_mm512_mask_cmpneq_epi16_mask(live, before, limit), after, limit);
    reached = _mm512_mask_sub_epi16(reached, newly, reached, _mm512_set1_epi16(-1));
}

// A span has at most 65535 runs (it is narrower than any frame), so no
// lane's count overflows.
template <bool twoLoads, bool unitWeight>
inline int stampRuns16(uint16_t* counters, const uint16_t* kernelRow, const uint8_t* columns, int count,
                       int32_t weight) {
    const __m512i weights = _mm512_set1_epi16(short(weight));
    __m512i reached = _mm512_setzero_si512();
    int i = 0;
    for (; i + 32 <= count; i += 32)
        stampRun16<true, twoLoads, unitWeight>(counters + i, kernelRow, columns + i, 32, weights, reached);
    if (i < count)
        stampRun16<false, twoLoads, unitWeight>(counters + i, kernelRow, columns + i, count - i, weights, reached);
    return _mm512_reduce_add_epi32(_mm512_madd_epi16(reached, _mm512_set1_epi16(1)));
}

template <bool unitWeight>
inline int stampSpan16(uint16_t* counters, const uint16_t* kernelRow, const uint8_t* columns, int count, int32_t step,
                       int32_t weight) {
    if (step <= 65536) return stampRuns16<false, unitWeight>(counters, kernelRow, columns, count, weight);
    if (step <= kPermuteStepLimit) return stampRuns16<true, unitWeight>(counters, kernelRow, columns, count, weight);
    const __m256i limit = _mm256_set1_epi16(kCounterLimit);
    const __m256i weights = _mm256_set1_epi16(short(weight));
    int reached = 0;
    for (int i = 0; i < count; i += 16) {
        const int left = count - i;
        const __mmask16 live = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1u);
        // Each lane reads two entries from its column on and keeps the first.
        const __m512i column = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + i)));
        const __m256i k = _mm512_cvtepi32_epi16(_mm512_i32gather_epi32(column, kernelRow, 2));
        const __m256i add = unitWeight ? k : _mm256_mulhi_epu16(k, weights);
        const __m256i before = _mm256_maskz_loadu_epi16(live, counters + i);
        const __m256i after = _mm256_min_epu16(_mm256_adds_epu16(before, add), limit);
        _mm256_mask_storeu_epi16(counters + i, live, after);
        const __mmask16 newly =
            _mm256_mask_cmpeq_epi16_mask(_mm256_mask_cmpneq_epi16_mask(live, before, limit), after, limit);
        reached += __builtin_popcount(static_cast<unsigned>(newly));
    }
    return reached;
}

}  // namespace

int VYR_ISA_NAME(stampBlobSpan16)(uint16_t* __restrict counters, const uint16_t* __restrict kernelRow,
                                  const uint8_t* __restrict columns, int count, int32_t step, int32_t weight) {
    return weight == 65536 ? stampSpan16<true>(counters, kernelRow, columns, count, step, weight)
                           : stampSpan16<false>(counters, kernelRow, columns, count, step, weight);
}

#elif defined(__AVX2__)

// 8 lanes; the run's columns lie within 16 of its first one (step <= 2^17:
// (65535 + 7 step) >> 16 <= 14): two loads of 8 columns, a permutation of
// each and a blend on bit 3 of the relative column. The loads start at most
// 16 before the row's end.
int VYR_ISA_NAME(stampBlobSpan)(int32_t* __restrict counters, const int32_t* __restrict kernelRow, int count, int32_t u,
                                int32_t step, int32_t weight) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i limit = _mm256_set1_epi32(kCounterLimit);
    const __m256i weights = _mm256_set1_epi32(weight);
    const __m256i runStep = _mm256_set1_epi32(8 * step);
    const __m256i lastColumn = _mm256_set1_epi32(kRowColumns - 1);
    __m256i pos = _mm256_add_epi32(_mm256_set1_epi32(u), _mm256_mullo_epi32(lane, _mm256_set1_epi32(step)));
    __m256i reached = _mm256_setzero_si256();
    const bool permute = step <= kPermuteStepLimit;
    int32_t runStart = u;
    int i = 0;
    for (; i < count; i += 8) {
        const int left = count - i;
        __m256i k;
        if (permute) {
            int32_t base = runStart >> 16;
            if (base > kRowColumns - 16) base = kRowColumns - 16;
            const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kernelRow + base));
            const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kernelRow + base + 8));
            const __m256i rel = _mm256_srli_epi32(_mm256_sub_epi32(pos, _mm256_set1_epi32(base << 16)), 16);
            const __m256i fromLo = _mm256_permutevar8x32_epi32(lo, rel);
            const __m256i fromHi = _mm256_permutevar8x32_epi32(hi, rel);
            // Bit 3 of the relative column, moved to the sign bit, picks the half.
            k = _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(fromLo), _mm256_castsi256_ps(fromHi),
                                                     _mm256_castsi256_ps(_mm256_slli_epi32(rel, 28))));
        } else {
            // Lanes past the span read the row's last column, and are not stored.
            const __m256i column = _mm256_min_epi32(_mm256_srli_epi32(pos, 16), lastColumn);
            k = _mm256_i32gather_epi32(kernelRow, column, 4);
        }
        const __m256i add = _mm256_srai_epi32(_mm256_mullo_epi32(k, weights), 16);
        if (left >= 8) {
            __m256i* at = reinterpret_cast<__m256i*>(counters + i);
            const __m256i before = _mm256_loadu_si256(at);
            const __m256i after = _mm256_min_epi32(_mm256_add_epi32(before, add), limit);
            _mm256_storeu_si256(at, after);
            // -1 in each lane that reached the limit just now.
            reached = _mm256_sub_epi32(
                reached, _mm256_andnot_si256(_mm256_cmpeq_epi32(before, limit), _mm256_cmpeq_epi32(after, limit)));
        } else {
            alignas(32) int32_t adds[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(adds), add);
            int tail = 0;
            for (int j = 0; j < left; ++j) {
                const int32_t before = counters[i + j];
                const int32_t sum = before + adds[j];
                const int32_t after = sum < kCounterLimit ? sum : kCounterLimit;
                counters[i + j] = after;
                tail += (after == kCounterLimit) & (before != kCounterLimit);
            }
            reached = _mm256_add_epi32(reached, _mm256_setr_epi32(tail, 0, 0, 0, 0, 0, 0, 0));
        }
        pos = _mm256_add_epi32(pos, runStep);
        runStart += 8 * step;
    }
    const __m128i half = _mm_add_epi32(_mm256_castsi256_si128(reached), _mm256_extracti128_si256(reached, 1));
    const __m128i quarter = _mm_add_epi32(half, _mm_shuffle_epi32(half, 0x4E));
    return _mm_cvtsi128_si32(_mm_add_epi32(quarter, _mm_shuffle_epi32(quarter, 0xB1)));
}

#else

// The scalar loop every path must match.
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

#endif

#if !(defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VL__))

int VYR_ISA_NAME(stampBlobSpan16)(uint16_t* __restrict counters, const uint16_t* __restrict kernelRow,
                                  const uint8_t* __restrict columns, int count, int32_t, int32_t weight) {
    int reached = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t before = counters[i];
        const int32_t sum = before + ((kernelRow[columns[i]] * weight) >> 16);
        const int32_t after = sum < kCounterLimit ? sum : kCounterLimit;
        counters[i] = uint16_t(after);
        reached += (after == kCounterLimit) & (before != kCounterLimit);
    }
    return reached;
}
#endif

// Plain loops, vectorised by the compiler for each path.
void VYR_ISA_NAME(blobColumns)(uint8_t* __restrict columns, int first, int count, int32_t step) {
    for (int j = 0; j < count; ++j) columns[j] = uint8_t(((first + j) * step) >> 16);
}

bool VYR_ISA_NAME(narrowKernel)(uint16_t* __restrict narrow, const int32_t* __restrict kernel, int count) {
    uint32_t outside = 0;
    for (int i = 0; i < count; ++i) {
        outside |= uint32_t(kernel[i]) & ~uint32_t(kNarrowKernelMax);
        narrow[i] = uint16_t(kernel[i]);
    }
    return outside == 0;
}

void VYR_ISA_NAME(widenAndClear)(int32_t* __restrict wide, uint16_t* __restrict narrow, int count) {
    for (int i = 0; i < count; ++i) wide[i] = narrow[i];
    for (int i = 0; i < count; ++i) narrow[i] = 0;
}
