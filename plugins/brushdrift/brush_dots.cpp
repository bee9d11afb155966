// Brush dots: the swarm turned into paint on the canvas, and the paint
// weighted by how much of it each pixel received.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "brush_stages.h"
#include "parallel_bands.h"

namespace {

// Positions this far from the centre (in pixels) are off any frame; the
// bound also keeps the float-to-int conversion defined.
constexpr float kFarAway = 1.0e9f;

}  // namespace

BrushDot placeDot(const ParticleRecord& p, const ViewRotation& view, const FrameShape& shape, float sceneSpan,
                  float sizeNear, float sizeFar) {
    // The projection is orthographic, so depth only sets the dot's nearness.
    const Vec3 v = rotateIntoView(view, p.x, p.y, p.z);
    const float x2 = v.x, y2 = v.y;
    const float t = depthCue(v.z, sceneSpan);

    BrushDot dot = {};
    dot.colour[0] = p.colour[0];
    dot.colour[1] = p.colour[1];
    dot.colour[2] = p.colour[2];
    // Coverage per stamp in 16.16: from about 0.4 of the kernel weight for
    // the farthest particles to the full weight for the nearest.
    dot.strength = static_cast<int32_t>(40000.0f * t) + 25536;
    const int32_t size = std::max(static_cast<int32_t>(t * sizeNear + sizeFar), int32_t(10));
    // The 256-entry kernel spread over `size` pixels: 16.16 advance per pixel.
    dot.step = 16777216 / size;
    const int32_t half = size >> 1;
    dot.size = 2 * half;  // an odd size covers one pixel less

    if (!(std::fabs(x2) < kFarAway) || !(std::fabs(y2) < kFarAway)) return dot;
    const int64_t sx = static_cast<int64_t>(static_cast<int32_t>(x2)) + (shape.width >> 1);
    const int64_t sy = static_cast<int64_t>(static_cast<int32_t>(y2)) + (shape.height >> 1);
    if (sx + half <= 0 || sx - half >= shape.width || sy + half <= 0 || sy - half >= shape.height) return dot;
    dot.left = static_cast<int32_t>(sx - half);
    dot.top = static_cast<int32_t>(sy - half);
    dot.visible = true;
    return dot;
}

namespace {

// Stamps dots 0..n-1 in order, but only on rows rowBegin..rowEnd-1. Every
// pixel sees the same dots in the same order whatever the band, so bands
// can be painted side by side.
void stampBand(SceneMembers& scene, const FrameShape& shape, int n, int rowBegin, int rowEnd) {
    const int width = shape.width;
    uint8_t* canvas = reinterpret_cast<uint8_t*>(scene.accumBuffer.data());
    uint8_t* coverage = scene.coverageMap.data();
    const int32_t* kernel = scene.blobKernel.data();
    for (int i = 0; i < n; ++i) {
        const BrushDot& dot = scene.dots[i];
        if (!dot.visible) continue;
        const int top = std::max(dot.top, rowBegin);
        const int bottom = std::min(dot.top + dot.size, rowEnd);
        if (top >= bottom) continue;
        const int left = std::max(dot.left, 0);
        const int right = std::min(dot.left + dot.size, width);
        const int32_t c0 = dot.colour[0], c1 = dot.colour[1], c2 = dot.colour[2];
        const int32_t strength = dot.strength;
        for (int y = top; y < bottom; ++y) {
            // Clipped rows and columns still advance the kernel index, so a
            // dot cut by the frame edge shows the matching part of the profile.
            const int32_t* kernelRow = kernel + (((y - dot.top) * dot.step) >> 16) * 256;
            const size_t rowStart = static_cast<size_t>(y) * width;
            uint8_t* cv = canvas + (rowStart + left) * 4;
            uint8_t* cov = coverage + rowStart + left;
            int32_t u = (left - dot.left) * dot.step;  // 16.16 kernel column
            for (int x = left; x < right; ++x, u += dot.step, cv += 4, ++cov) {
                const int32_t w = kernelRow[u >> 16];
                if (w <= 0) continue;
                // Lerp towards the paint by w/256, rounding toward minus
                // infinity: the result stays between the two colours.
                cv[0] = static_cast<uint8_t>(cv[0] + (((c0 - cv[0]) * w) >> 8));
                cv[1] = static_cast<uint8_t>(cv[1] + (((c1 - cv[1]) * w) >> 8));
                cv[2] = static_cast<uint8_t>(cv[2] + (((c2 - cv[2]) * w) >> 8));
                const int32_t total = *cov + ((w * strength) >> 16);
                *cov = static_cast<uint8_t>(total > 255 ? 255 : total);
            }
        }
    }
}

}  // namespace

void stampDots(SceneMembers& scene, const FrameShape& shape, int n) {
    forEachBand(shape.height, BandSplit{0, shape.width},
                [&scene, &shape, n](int rowBegin, int rowEnd) { stampBand(scene, shape, n, rowBegin, rowEnd); });
}

void paintDots(SceneMembers& scene, const FrameShape& shape, int n, const ViewRotation& view, float dotScale,
               float sceneSpan) {
    const float sizeNear = 0.9375f * dotScale;
    const float sizeFar = 0.0625f * dotScale;
    for (int i = 0; i < n; ++i)
        scene.dots[i] = placeDot(scene.particlePos[i], view, shape, sceneSpan, sizeNear, sizeFar);
    stampDots(scene, shape, n);
}

namespace {

template <int B, int M>
void weightByCoverage(uint8_t* work, const uint8_t* canvas, const uint8_t* coverage, const uint8_t* input, int n) {
    forEachBand(n, BandSplit{0, 1}, [=](int begin, int end) {
        for (int p = begin; p < end; ++p) {
            const uint8_t* cv = canvas + static_cast<size_t>(p) * 4;
            uint8_t* wf = work + static_cast<size_t>(p) * B;
            const int cov = coverage[p];
            wf[0] = static_cast<uint8_t>((cv[0] * cov) >> 8);
            wf[1] = static_cast<uint8_t>((cv[1] * cov) >> 8);
            wf[2] = static_cast<uint8_t>((cv[2] * cov) >> 8);
            if (B == 4) {
                if (M == 0)
                    wf[B - 1] = 255;
                else if (M == 1)
                    wf[B - 1] = static_cast<uint8_t>((cv[3] * cov) >> 8);
                else
                    wf[B - 1] = input[static_cast<size_t>(p) * B + (B - 1)];
            }
        }
    });
}

}  // namespace

void composeCoverage(SceneMembers& scene, const FrameShape& shape, int m, const uint8_t* input) {
    uint8_t* work = scene.workFrame.data();
    const uint8_t* canvas = reinterpret_cast<const uint8_t*>(scene.accumBuffer.data());
    const uint8_t* coverage = scene.coverageMap.data();
    const int n = shape.pixelCount();
    if (shape.bytesPerPixel == 3)
        weightByCoverage<3, 0>(work, canvas, coverage, input, n);
    else if (m == 0)
        weightByCoverage<4, 0>(work, canvas, coverage, input, n);
    else if (m == 1)
        weightByCoverage<4, 1>(work, canvas, coverage, input, n);
    else
        weightByCoverage<4, 2>(work, canvas, coverage, input, n);
}
