// Brush dots: the swarm turned into paint on the canvas, and the paint
// weighted by how much of it each pixel received.
#include <algorithm>
#include <cstring>

#include "brush_kernels.h"
#include "brush_stages.h"

BlobView brushView(const FrameShape& shape, const ViewRotation& view, float dotScale, float sceneSpan) {
    BlobView v = {};
    v.width = shape.width;
    v.height = shape.height;
    v.sceneSpan = sceneSpan;
    v.blobSize = dotScale;
    v.rotation = view;
    // Coverage per stamp in 16.16: from about 0.4 of the kernel weight for
    // the farthest particles to the full weight for the nearest.
    v.weighting = BlobWeighting{40000.0f, 25536};
    return v;
}

bool placeDot(const ParticleRecord& p, const BlobView& view, BrushDot& out) {
    out.colour[0] = p.colour[0];
    out.colour[1] = p.colour[1];
    out.colour[2] = p.colour[2];
    return placeBlob(p, view, out.blob);
}

namespace {

// Stamps dots 0..n-1 in order, but only on rows rowBegin..rowEnd-1. Every
// pixel sees the same dots in the same order whatever the band, so bands
// can be painted side by side.
void stampBand(SceneMembers& scene, const FrameShape& shape, int n, int rowBegin, int rowEnd) {
    const int width = shape.width;
    uint8_t* canvas = scene.canvas.data();
    uint8_t* coverage = scene.coverageMap.data();
    const int32_t* kernel = scene.blobKernel.data();
    const KernelRowSpan* spans = scene.kernelSpans;
    const auto paintSpan = VYR_PICK_ISA_KERNEL(paintDotSpan);
    for (int i = 0; i < n; ++i) {
        const BrushDot& dot = scene.dots[i];
        const BlobPlacement& blob = dot.blob;
        const int top = std::max(blob.top, rowBegin);
        const int bottom = std::min(blob.bottom, rowEnd);
        if (top >= bottom) continue;
        const int32_t step = blob.step;
        const int32_t c0 = dot.colour[0], c1 = dot.colour[1], c2 = dot.colour[2];
        const int32_t strength = blob.weight;
        for (int y = top; y < bottom; ++y) {
            // Clipped rows and columns still advance the kernel index, so a
            // dot cut by the frame edge shows the matching part of the profile.
            const int kernelY = ((y - blob.cornerY) * step) >> 16;
            // A weight of 0 changes nothing, so only the pixels whose column
            // falls in the row's non-zero span are painted: column
            // (j x step) >> 16 >= first  <=>  j >= ceil(first x 65536 / step).
            const KernelRowSpan span = spans[kernelY];
            if (span.first == span.end) continue;
            const int left = std::max(blob.left, blob.cornerX + (span.first * 65536 + step - 1) / step);
            const int right = std::min(blob.right, blob.cornerX + (span.end * 65536 + step - 1) / step);
            const size_t rowStart = static_cast<size_t>(y) * width;
            if (left < right)
                paintSpan(canvas + (rowStart + left) * 4, coverage + rowStart + left, kernel + kernelY * 256,
                          right - left, (left - blob.cornerX) * step, step, c0, c1, c2, strength);
        }
    }
}

}  // namespace

void stampDots(SceneMembers& scene, const FrameShape& shape, int n, int rowBegin, int rowEnd) {
    stampBand(scene, shape, n, rowBegin, rowEnd < 0 ? shape.height : rowEnd);
}

void placeDots(SceneMembers& scene, const FrameShape& shape, int n, const ViewRotation& view, float dotScale,
               float sceneSpan) {
    const BlobView v = brushView(shape, view, dotScale, sceneSpan);
    int count = 0;
    for (int i = 0; i < n; ++i)
        if (placeDot(scene.particlePos[i], v, scene.dots[count])) ++count;
    scene.dotCount = count;
}

void paintDots(SceneMembers& scene, const FrameShape& shape, int n, const ViewRotation& view, float dotScale,
               float sceneSpan) {
    placeDots(scene, shape, n, view, dotScale, sceneSpan);
    stampDots(scene, shape, scene.dotCount);
}

void composeCoverage(SceneMembers& scene, const FrameShape& shape, int alphaMode, const uint8_t* input, int rowBegin,
                     int rowEnd) {
    const int begin = rowBegin * shape.width;
    const int end = (rowEnd < 0 ? shape.height : rowEnd) * shape.width;
    VYR_PICK_ISA_KERNEL(weightByCoverage)
    (scene.workFrame.data(), scene.canvas.data(), scene.coverageMap.data(), input, shape.bytesPerPixel, alphaMode,
     begin, end);
}
