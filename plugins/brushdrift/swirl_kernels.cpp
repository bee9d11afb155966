// The brightness-band swirl of one output row, compiled once per
// instruction-set path (vyr_isa_kernels): integer arithmetic only, so every
// path fetches the same pixels.
//
// Pixel x of row y whose mean brightness (third[b0 + b1 + b2]) lies within
// R of Vc is fetched from a rotated, zoomed position, wrapped round the frame
// edges; the rest are copied. Zoom in 1/256 units is (full - d x zq) >> 16:
// Z at the band's centre, falling to 0 at its edge. The products are 64-bit
// so that frames wider or taller than 8192 pixels do not overflow; below
// that they equal the 32-bit ones, which the vector paths use.
#include <cstdint>
#include <cstring>

#include "brush_kernels.h"
#include "kernel_intrinsics.h"

namespace {

// The mathematical modulo: any position maps into 0..size-1.
int64_t wrapInto(int64_t v, int size) {
    if (v >= 0 && v < size) return v;
    const int64_t r = v % size;
    return r < 0 ? r + size : r;
}

// Where pixel (x, y) fetches from, as an offset in pixels.
size_t fetchFrom(int x, int y, int32_t f, int width, int height, int64_t sn, int64_t cs) {
    const int cx = width >> 1;
    const int cy = height >> 1;
    const int64_t dx = (static_cast<int64_t>(x - cx) * f) >> 8;
    const int64_t dy = (static_cast<int64_t>(y - cy) * f) >> 8;
    const int64_t u = cx - ((dy * sn) >> 16) + ((cs * dx) >> 16);
    const int64_t v = cy + ((dx * sn) >> 16) + ((dy * cs) >> 16);
    return static_cast<size_t>(wrapInto(v, height)) * static_cast<size_t>(width) +
           static_cast<size_t>(wrapInto(u, width));
}

// Pixels begin..end-1 of row y, one at a time.
template <int kBytesPerPixel>
void swirlPixelsOf(const uint8_t* work, uint8_t* out, int width, int height, int y, const int32_t* third,
                   int32_t centre, int32_t range, int32_t zq, int32_t full, int32_t sn, int32_t cs, int begin,
                   int end) {
    const uint8_t* row = work + static_cast<size_t>(y) * width * kBytesPerPixel;
    for (int x = begin; x < end; ++x) {
        const uint8_t* wp = row + static_cast<size_t>(x) * kBytesPerPixel;
        int32_t d = third[wp[0] + wp[1] + wp[2]] - centre;
        if (d < 0) d = -d;
        const uint8_t* src = wp;
        if (d <= range) src = work + fetchFrom(x, y, (full - d * zq) >> 16, width, height, sn, cs) * kBytesPerPixel;
        std::memcpy(out + static_cast<size_t>(x) * kBytesPerPixel, src, kBytesPerPixel);
    }
}

void swirlPixels(const uint8_t* work, uint8_t* out, int width, int height, int y, int bytesPerPixel,
                 const int32_t* third, int32_t centre, int32_t range, int32_t zq, int32_t full, int32_t sn, int32_t cs,
                 int begin, int end) {
    if (bytesPerPixel == 4)
        swirlPixelsOf<4>(work, out, width, height, y, third, centre, range, zq, full, sn, cs, begin, end);
    else
        swirlPixelsOf<3>(work, out, width, height, y, third, centre, range, zq, full, sn, cs, begin, end);
}

// Pixels begin..end-1 of a row of 4-byte pixels: each colour byte becomes
// round(((255 - a) x + a y) / 255), where x is the output's and y the trail's
// byte. The weights sum to 255, so the rounded sum s fits in 16 bits, where
// s / 255 is exactly (s + 1 + (s >> 8)) >> 8. The alpha byte stays the
// output's, or becomes 255 when opaque; the trail then takes the result.
void blendPixels(uint8_t* __restrict out, uint8_t* __restrict trail, int feedback, bool opaque, int begin, int end) {
    const uint16_t a1 = static_cast<uint16_t>(255 - feedback);
    const uint16_t a2 = static_cast<uint16_t>(feedback);
    // Every byte computed and the alpha byte chosen after, so that the
    // loop vectorises.
#pragma omp simd
    for (int i = 4 * begin; i < 4 * end; ++i) {
        const uint8_t x = out[i];
        const uint16_t s = static_cast<uint16_t>(a1 * x + a2 * trail[i] + 127);
        const uint8_t blended = static_cast<uint8_t>((s + 1 + (s >> 8)) >> 8);
        const uint8_t alpha = opaque ? uint8_t(255) : x;
        const uint8_t result = (i & 3) == 3 ? alpha : blended;
        out[i] = result;
        trail[i] = result;
    }
}

}  // namespace

#if defined(__AVX2__)

namespace {

// Positions of lanes 0..count-1 wrapped one at a time.
void wrapLanes(int32_t* us, int32_t* vs, int count, int width, int height) {
    for (int k = 0; k < count; ++k) {
        us[k] = static_cast<int32_t>(wrapInto(us[k], width));
        vs[k] = static_cast<int32_t>(wrapInto(vs[k], height));
    }
}

}  // namespace

// 8 pixels at a time on 16-bit lanes.
void VYR_ISA_NAME(blendTrailRow)(uint8_t* out, uint8_t* trail, int count, int feedback, bool opaque) {
    const __m256i a1 = _mm256_set1_epi16(int16_t(255 - feedback));
    const __m256i a2 = _mm256_set1_epi16(int16_t(feedback));
    const __m256i half = _mm256_set1_epi16(127);
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i alphaBytes = _mm256_set1_epi32(int32_t(0xFF000000u));
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i* o = reinterpret_cast<__m256i*>(out + 4 * i);
        __m256i* t = reinterpret_cast<__m256i*>(trail + 4 * i);
        const __m256i x = _mm256_loadu_si256(o);
        const __m256i y = _mm256_loadu_si256(t);
        __m256i s = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(x, zero), a1),
                                                      _mm256_mullo_epi16(_mm256_unpacklo_epi8(y, zero), a2)),
                                     half);
        const __m256i low = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(s, one), _mm256_srli_epi16(s, 8)), 8);
        s = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(x, zero), a1),
                                              _mm256_mullo_epi16(_mm256_unpackhi_epi8(y, zero), a2)),
                             half);
        const __m256i high = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(s, one), _mm256_srli_epi16(s, 8)), 8);
        const __m256i blended = _mm256_packus_epi16(low, high);
        const __m256i result =
            opaque ? _mm256_or_si256(blended, alphaBytes) : _mm256_blendv_epi8(blended, x, alphaBytes);
        _mm256_storeu_si256(o, result);
        _mm256_storeu_si256(t, result);
    }
    blendPixels(out, trail, feedback, opaque, i, count);
}

#if defined(__AVX512BW__)

// 4-byte pixels of frames up to 8192 pixels each way, 16 at a time: as the
// 8-lane build below, with masks for the row's end and the band.
void VYR_ISA_NAME(swirlRow)(const uint8_t* work, uint8_t* out, int width, int height, int y, int bytesPerPixel,
                            const int32_t* third, int32_t centre, int32_t range, int32_t zq, int32_t full, int32_t sn,
                            int32_t cs) {
    if (bytesPerPixel != 4 || width > 8192 || height > 8192) {
        swirlPixels(work, out, width, height, y, bytesPerPixel, third, centre, range, zq, full, sn, cs, 0, width);
        return;
    }
    const int cx = width >> 1;
    const int cy = height >> 1;
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i colourBytes = _mm512_set1_epi32(0x00010101);
    const __m512i ones = _mm512_set1_epi16(1);
    const __m512i third17 = _mm512_set1_epi32(43691);
    const __m512i centreV = _mm512_set1_epi32(centre);
    const __m512i rangeV = _mm512_set1_epi32(range);
    const __m512i zqV = _mm512_set1_epi32(zq);
    const __m512i fullV = _mm512_set1_epi32(full);
    const __m512i snV = _mm512_set1_epi32(sn);
    const __m512i csV = _mm512_set1_epi32(cs);
    const __m512i cxV = _mm512_set1_epi32(cx);
    const __m512i cyV = _mm512_set1_epi32(cy);
    const __m512i yV = _mm512_set1_epi32(y);
    const __m512i rowOffset = _mm512_set1_epi32(y - cy);
    const __m512i widthV = _mm512_set1_epi32(width);
    const __m512i heightV = _mm512_set1_epi32(height);
    const __m512i zero = _mm512_setzero_si512();
    const int* frame = reinterpret_cast<const int*>(work);
    const __m512i centrePixel = _mm512_set1_epi32(frame[static_cast<size_t>(cy) * width + cx]);
    const bool unturned = sn == 0 && cs == 65536;
    const uint8_t* row = work + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; x += 16) {
        const int left = width - x;
        const __mmask16 valid = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
        const __m512i pixels = _mm512_maskz_loadu_epi32(valid, row + 4 * x);
        const __m512i sum = _mm512_madd_epi16(_mm512_maddubs_epi16(pixels, colourBytes), ones);
        const __m512i d =
            _mm512_abs_epi32(_mm512_sub_epi32(_mm512_srli_epi32(_mm512_mulhi_epu16(sum, third17), 1), centreV));
        const __mmask16 inBand = _mm512_mask_cmple_epi32_mask(valid, d, rangeV);
        __m512i result = pixels;
        if (inBand != 0) {
            const __m512i f = _mm512_srai_epi32(_mm512_sub_epi32(fullV, _mm512_mullo_epi32(d, zqV)), 16);
            // Zoom 0 fetches the centre pixel (cx, cy) whatever the turn.
            if (_mm512_mask_cmpneq_epi32_mask(inBand, f, zero) == 0) {
                result = _mm512_mask_mov_epi32(pixels, inBand, centrePixel);
            } else {
                const __m512i xs = _mm512_add_epi32(_mm512_set1_epi32(x), lanes);
                const __m512i dx = _mm512_srai_epi32(_mm512_mullo_epi32(_mm512_sub_epi32(xs, cxV), f), 8);
                const __m512i dy = _mm512_srai_epi32(_mm512_mullo_epi32(rowOffset, f), 8);
                __m512i u, v;
                if (unturned) {
                    u = _mm512_add_epi32(cxV, dx);
                    v = _mm512_add_epi32(cyV, dy);
                } else {
                    u = _mm512_add_epi32(_mm512_sub_epi32(cxV, _mm512_srai_epi32(_mm512_mullo_epi32(dy, snV), 16)),
                                         _mm512_srai_epi32(_mm512_mullo_epi32(csV, dx), 16));
                    v = _mm512_add_epi32(_mm512_add_epi32(cyV, _mm512_srai_epi32(_mm512_mullo_epi32(dx, snV), 16)),
                                         _mm512_srai_epi32(_mm512_mullo_epi32(dy, csV), 16));
                }
                u = _mm512_mask_blend_epi32(inBand, xs, u);
                v = _mm512_mask_blend_epi32(inBand, yV, v);
                // Unsigned, a negative position is as far off as a large one.
                const auto inside = [&] {
                    return (_mm512_cmplt_epu32_mask(u, widthV) & _mm512_cmplt_epu32_mask(v, heightV)) == 0xFFFF;
                };
                if (!inside()) {
                    for (int round = 0; round < 2; ++round) {
                        u = _mm512_mask_add_epi32(u, _mm512_cmplt_epi32_mask(u, zero), u, widthV);
                        u = _mm512_mask_sub_epi32(u, _mm512_cmpge_epi32_mask(u, widthV), u, widthV);
                        v = _mm512_mask_add_epi32(v, _mm512_cmplt_epi32_mask(v, zero), v, heightV);
                        v = _mm512_mask_sub_epi32(v, _mm512_cmpge_epi32_mask(v, heightV), v, heightV);
                    }
                    if (!inside()) {
                        alignas(64) int32_t us[16], vs[16];
                        _mm512_store_si512(us, u);
                        _mm512_store_si512(vs, v);
                        wrapLanes(us, vs, 16, width, height);
                        u = _mm512_load_si512(us);
                        v = _mm512_load_si512(vs);
                    }
                }
                const __m512i index = _mm512_add_epi32(_mm512_mullo_epi32(v, widthV), u);
                result = _mm512_mask_i32gather_epi32(pixels, inBand, index, frame, 4);
            }
        }
        _mm512_mask_storeu_epi32(out + 4 * x, valid, result);
    }
}

#else

// 4-byte pixels of frames up to 8192 pixels each way, 8 at a time: the
// mean is (sum x 43691) >> 17, which is sum / 3 for every sum up to 765;
// only pixels in the band are gathered.
void VYR_ISA_NAME(swirlRow)(const uint8_t* work, uint8_t* out, int width, int height, int y, int bytesPerPixel,
                            const int32_t* third, int32_t centre, int32_t range, int32_t zq, int32_t full, int32_t sn,
                            int32_t cs) {
    if (bytesPerPixel != 4 || width > 8192 || height > 8192) {
        swirlPixels(work, out, width, height, y, bytesPerPixel, third, centre, range, zq, full, sn, cs, 0, width);
        return;
    }
    const int cx = width >> 1;
    const int cy = height >> 1;
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i colourBytes = _mm256_set1_epi32(0x00010101);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i third17 = _mm256_set1_epi32(43691);
    const __m256i centreV = _mm256_set1_epi32(centre);
    const __m256i rangeV = _mm256_set1_epi32(range + 1);
    const __m256i zqV = _mm256_set1_epi32(zq);
    const __m256i fullV = _mm256_set1_epi32(full);
    const __m256i snV = _mm256_set1_epi32(sn);
    const __m256i csV = _mm256_set1_epi32(cs);
    const __m256i cxV = _mm256_set1_epi32(cx);
    const __m256i cyV = _mm256_set1_epi32(cy);
    const __m256i yV = _mm256_set1_epi32(y);
    const __m256i rowOffset = _mm256_set1_epi32(y - cy);
    const __m256i widthV = _mm256_set1_epi32(width);
    const __m256i heightV = _mm256_set1_epi32(height);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i minusOne = _mm256_set1_epi32(-1);
    const int* frame = reinterpret_cast<const int*>(work);
    const __m256i centrePixel = _mm256_set1_epi32(frame[static_cast<size_t>(cy) * width + cx]);
    const bool unturned = sn == 0 && cs == 65536;
    const uint8_t* row = work + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; x += 8) {
        const int left = width - x;
        const __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(left), lanes);
        const __m256i* at = reinterpret_cast<const __m256i*>(row + 4 * x);
        const __m256i pixels =
            left >= 8 ? _mm256_loadu_si256(at) : _mm256_maskload_epi32(reinterpret_cast<const int*>(at), valid);
        const __m256i sum = _mm256_madd_epi16(_mm256_maddubs_epi16(pixels, colourBytes), ones);
        const __m256i d =
            _mm256_abs_epi32(_mm256_sub_epi32(_mm256_srli_epi32(_mm256_mulhi_epu16(sum, third17), 1), centreV));
        const __m256i inBand = _mm256_and_si256(valid, _mm256_cmpgt_epi32(rangeV, d));
        __m256i result = pixels;
        if (!_mm256_testz_si256(inBand, inBand)) {
            const __m256i f = _mm256_srai_epi32(_mm256_sub_epi32(fullV, _mm256_mullo_epi32(d, zqV)), 16);
            // Zoom 0 fetches the centre pixel (cx, cy) whatever the turn:
            // black paint outside the dots usually does, all of a vector
            // at a time.
            const __m256i zoomed = _mm256_andnot_si256(_mm256_cmpeq_epi32(f, zero), inBand);
            if (_mm256_testz_si256(zoomed, zoomed)) {
                result = _mm256_blendv_epi8(pixels, centrePixel, inBand);
            } else {
                const __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
                const __m256i dx = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(xs, cxV), f), 8);
                const __m256i dy = _mm256_srai_epi32(_mm256_mullo_epi32(rowOffset, f), 8);
                __m256i u, v;
                if (unturned) {
                    // sine 0 and cosine 65536: the products are dx and dy again.
                    u = _mm256_add_epi32(cxV, dx);
                    v = _mm256_add_epi32(cyV, dy);
                } else {
                    u = _mm256_add_epi32(_mm256_sub_epi32(cxV, _mm256_srai_epi32(_mm256_mullo_epi32(dy, snV), 16)),
                                         _mm256_srai_epi32(_mm256_mullo_epi32(csV, dx), 16));
                    v = _mm256_add_epi32(_mm256_add_epi32(cyV, _mm256_srai_epi32(_mm256_mullo_epi32(dx, snV), 16)),
                                         _mm256_srai_epi32(_mm256_mullo_epi32(dy, csV), 16));
                }
                // Pixels outside the band keep their own place, so that only
                // the band's positions need wrapping.
                u = _mm256_blendv_epi8(xs, u, inBand);
                v = _mm256_blendv_epi8(yV, v, inBand);
                // Positions up to two frames off wrap by adding or subtracting
                // the size twice; farther ones one lane at a time.
                const auto inside = [&] {
                    const __m256i in = _mm256_and_si256(
                        _mm256_and_si256(_mm256_cmpgt_epi32(u, minusOne), _mm256_cmpgt_epi32(widthV, u)),
                        _mm256_and_si256(_mm256_cmpgt_epi32(v, minusOne), _mm256_cmpgt_epi32(heightV, v)));
                    return _mm256_movemask_epi8(in) == -1;
                };
                if (!inside()) {
                    for (int round = 0; round < 2; ++round) {
                        u = _mm256_add_epi32(u, _mm256_and_si256(_mm256_cmpgt_epi32(zero, u), widthV));
                        u = _mm256_sub_epi32(u, _mm256_andnot_si256(_mm256_cmpgt_epi32(widthV, u), widthV));
                        v = _mm256_add_epi32(v, _mm256_and_si256(_mm256_cmpgt_epi32(zero, v), heightV));
                        v = _mm256_sub_epi32(v, _mm256_andnot_si256(_mm256_cmpgt_epi32(heightV, v), heightV));
                    }
                    if (!inside()) {
                        alignas(32) int32_t us[8], vs[8];
                        _mm256_store_si256(reinterpret_cast<__m256i*>(us), u);
                        _mm256_store_si256(reinterpret_cast<__m256i*>(vs), v);
                        wrapLanes(us, vs, 8, width, height);
                        u = _mm256_load_si256(reinterpret_cast<const __m256i*>(us));
                        v = _mm256_load_si256(reinterpret_cast<const __m256i*>(vs));
                    }
                }
                const __m256i index = _mm256_add_epi32(_mm256_mullo_epi32(v, widthV), u);
                result = _mm256_mask_i32gather_epi32(pixels, frame, index, inBand, 4);
            }
        }
        __m256i* to = reinterpret_cast<__m256i*>(out + 4 * x);
        if (left >= 8)
            _mm256_storeu_si256(to, result);
        else
            _mm256_maskstore_epi32(reinterpret_cast<int*>(to), valid, result);
    }
}

#endif

#else

void VYR_ISA_NAME(blendTrailRow)(uint8_t* out, uint8_t* trail, int count, int feedback, bool opaque) {
    blendPixels(out, trail, feedback, opaque, 0, count);
}

void VYR_ISA_NAME(swirlRow)(const uint8_t* work, uint8_t* out, int width, int height, int y, int bytesPerPixel,
                            const int32_t* third, int32_t centre, int32_t range, int32_t zq, int32_t full, int32_t sn,
                            int32_t cs) {
    swirlPixels(work, out, width, height, y, bytesPerPixel, third, centre, range, zq, full, sn, cs, 0, width);
}

#endif
