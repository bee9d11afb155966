// The last two stages of a frame: the brightness-band swirl into the output
// and the feedback blend with the previous output.
#include <cmath>
#include <cstring>

#include "brush_kernels.h"
#include "brush_stages.h"

namespace {

constexpr int kSinCosSteps = 65536;  // one full turn
constexpr int kThirdEntries = 768;   // sums of three 8-bit channels

// round((a1 x + a2 y) / 255), at most 255. A sum that is an exact half
// times 255 would need an even number equal to an odd multiple of 255, so
// adding 127 before the division rounds to the nearest.
inline uint8_t plusByte(uint32_t a1, uint32_t x, uint32_t a2, uint32_t y) {
    const uint32_t v = (a1 * x + a2 * y + 127) / 255;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

// round((a1 x + (255 - a1) a2 y / 255) / 255), with the second weight kept
// as an exact fraction: round((255 a1 x + (255 - a1) a2 y) / 65025). 65025
// is odd, so again no exact half occurs; the result is at most 255.
inline uint8_t overByte(uint32_t a1, uint32_t x, uint32_t a2, uint32_t y) {
    return static_cast<uint8_t>((255 * a1 * x + (255 - a1) * a2 * y + 32512) / 65025);
}

// 'plus' of two 4-byte-pixel pictures on the colour bytes, the
// destination's alpha byte kept: one flat loop over the bytes, so that it
// vectorises.
template <class PlusByte>
void plusColourBytes(const uint8_t* first, const uint8_t* second, uint8_t* destination, int begin, int end,
                     PlusByte plus) {
#pragma omp simd
    for (int i = begin; i < end; ++i) {
        const uint8_t kept = destination[i];
        const uint8_t blended = plus(first[i], second[i]);
        destination[i] = (i & 3) == 3 ? kept : blended;
    }
}

}  // namespace

void buildSwirlTables(SceneMembers& scene) {
    std::vector<int32_t>& sinCos = scene.sinCosTable;
    sinCos.resize(size_t(2) * kSinCosSteps);
    for (int j = 0; j < kSinCosSteps; ++j) {
        const double a = double(j) * 2.0 * kPi / 65536.0;
        sinCos[2 * size_t(j)] = static_cast<int32_t>(std::sin(a) * 65536.0);
        sinCos[2 * size_t(j) + 1] = static_cast<int32_t>(std::cos(a) * 65536.0);
    }
    scene.thirdTable.resize(kThirdEntries);
    for (int i = 0; i < kThirdEntries; ++i) scene.thirdTable[size_t(i)] = i / 3;
}

void swirlValueBand(const SceneMembers& scene, const FrameShape& shape, uint8_t* output, const SwirlSettings& swirl,
                    int rowBegin, int rowEnd) {
    if (rowEnd < 0) rowEnd = shape.height;
    const int32_t range = swirl.bandHalfWidth;
    // Zoom in 1/256 units is (full - d * zq) >> 16: Z at the band's centre
    // (when R divides 65536), falling to 0 at its edge.
    const int32_t zq = swirl.zoom * (65536 / range);
    const int32_t full = range * zq;
    const int32_t sn = scene.sinCosTable[2 * static_cast<size_t>(swirl.rotation)];  // 16.16
    const int32_t cs = scene.sinCosTable[2 * static_cast<size_t>(swirl.rotation) + 1];
    const auto row = VYR_PICK_ISA_KERNEL(swirlRow);
    const size_t rowBytes = static_cast<size_t>(shape.width) * static_cast<size_t>(shape.bytesPerPixel);
    for (int y = rowBegin; y < rowEnd; ++y)
        row(scene.workFrame.data(), output + static_cast<size_t>(y) * rowBytes, shape.width, shape.height, y,
            shape.bytesPerPixel, scene.thirdTable.data(), swirl.bandCentre, range, zq, full, sn, cs);
}

void compositeConstAlpha(const uint8_t* first, int alpha1, const uint8_t* second, int alpha2, uint8_t* destination,
                         int width, int height, int bytesPerPixel, int rowBegin, int rowEnd) {
    // One flat loop over the bytes in both cases, so that it vectorises:
    // byte i is read and written by iteration i only, whichever of the
    // pictures the destination is.
    const int rowBytes = width * bytesPerPixel;
    const int begin = rowBegin * rowBytes;
    const int end = (rowEnd < 0 ? height : rowEnd) * rowBytes;
    if (bytesPerPixel == 4) {
        const uint32_t a1 = static_cast<uint32_t>(alpha1);
        const uint32_t a2 = static_cast<uint32_t>(alpha2);
        plusColourBytes(first, second, destination, begin, end,
                        [=](uint8_t x, uint8_t y) { return plusByte(a1, x, a2, y); });
    } else {
        const uint32_t a1 = static_cast<uint32_t>(alpha1);
        const uint32_t a2 = static_cast<uint32_t>(alpha2);
#pragma omp simd
        for (int i = begin; i < end; ++i) destination[i] = overByte(a1, first[i], a2, second[i]);
    }
}

void blendFeedback(SceneMembers& scene, const FrameShape& shape, uint8_t* output, int feedback, int alphaMode,
                   int rowBegin, int rowEnd) {
    if (rowEnd < 0) rowEnd = shape.height;
    uint8_t* previous = scene.feedbackFrame.data();
    const int bytesPerPixel = shape.bytesPerPixel;
    const size_t first = size_t(rowBegin) * size_t(shape.width);
    const size_t end = size_t(rowEnd) * size_t(shape.width);
    // The blend lands in the output first: 'plus' leaves its alpha byte
    // alone, and that is the new picture's alpha, the one wanted for m = 0
    // and 1; with the input's alpha (m = 2) the result is opaque instead.
    // The weights sum to 255, the narrow case of 'plus' that blendTrailRow
    // computes on 16-bit lanes, row by row while the row is in cache.
    if (bytesPerPixel == 4) {
        const auto blendRow = VYR_PICK_ISA_KERNEL(blendTrailRow);
        const size_t rowBytes = size_t(shape.width) * 4;
        for (int y = rowBegin; y < rowEnd; ++y)
            blendRow(output + y * rowBytes, previous + y * rowBytes, shape.width, feedback, alphaMode == 2);
        return;
    }
    compositeConstAlpha(output, 255 - feedback, previous, feedback, output, shape.width, shape.height, bytesPerPixel,
                        rowBegin, rowEnd);
    std::memcpy(previous + first * bytesPerPixel, output + first * bytesPerPixel, (end - first) * bytesPerPixel);
}
