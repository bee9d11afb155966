#include "splat.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int32_t kCounterLimit = 1024;
constexpr int32_t kMinBlobSize = 10;

// Rows of the field handed out to threads as a unit. Every thread stamps
// every blob, but only into its own bands, so each counter is written by one
// thread and the field is the same for any number of threads.
constexpr int kBandRows = 16;

// Truncation toward zero, limited so that the placement arithmetic stays
// within int32 for particles that have drifted far off any frame.
int32_t truncLimited(float v) {
    constexpr float kLimit = 1073741824.0f;  // 2^30
    return static_cast<int32_t>(std::clamp(v, -kLimit, kLimit));
}

}  // namespace

ViewRotation viewRotation(const SwirlFrame& frame) {
    return {std::sin(frame.angleX), std::cos(frame.angleX), std::sin(frame.angleY),
            std::cos(frame.angleY), std::sin(frame.angleZ), std::cos(frame.angleZ)};
}

BlobPlacement placeBlob(const ParticleRecord& particle, const ViewRotation& r, const SwirlFrame& frame,
                        int width, int height) {
    const float S = frame.sceneSpan;
    const float X = particle.x + frame.translateX;
    const float Y = particle.y + frame.translateY;
    const float Z = particle.z + frame.translateZ;

    const float y1 = r.cosX * Y - r.sinX * Z;
    const float z1 = r.sinX * Y + r.cosX * Z;
    const float z2 = r.cosY * z1 - r.sinY * X;
    const float x1 = r.sinY * z1 + r.cosY * X;
    const float x2 = r.cosZ * x1 - r.sinZ * y1;
    const float y2 = r.sinZ * x1 + r.cosZ * y1;

    BlobPlacement b;
    b.centreX = truncLimited(static_cast<float>(truncLimited(x2) + (width >> 1)) + frame.originX);
    b.centreY = truncLimited(static_cast<float>(truncLimited(y2) + (height >> 1)) + frame.originY);

    // Nearness: 0 at the back face of the scene cube, 1 at the front.
    const float depthCue = std::clamp((z2 + 0.5f * S) / S, 0.01f, 1.0f);
    b.weight = static_cast<int32_t>(40000.0f * depthCue) + 25536;
    const float D = frame.blobSize;
    b.size = std::max(static_cast<int32_t>(0.9375f * D * depthCue + 0.0625f * D), kMinBlobSize);
    b.step = 16777216 / b.size;  // 256 / size in 16.16
    b.half = b.size >> 1;

    const int64_t cx = b.centreX, cy = b.centreY, half = b.half;
    b.visible = !(cx + half <= 0 || cx - half >= width || cy + half <= 0 || cy - half >= height);
    return b;
}

void splatBlobs(ParticleField& field, std::vector<BlobPlacement>& placements, const SwirlFrame& frame,
                int width, int height) {
    const int count = std::min({frame.particleCount, static_cast<int>(field.particlePos.size()),
                                static_cast<int>(placements.size())});
    const ViewRotation rotation = viewRotation(frame);
    for (int i = 0; i < count; ++i)
        placements[i] = placeBlob(field.particlePos[i], rotation, frame, width, height);

    const BlobPlacement* blobs = placements.data();
    const int32_t* kernel = field.blobKernel.data();
    int32_t* accum = field.accumBuffer.data();
    const int bands = (height + kBandRows - 1) / kBandRows;

#pragma omp parallel for schedule(static, 1)
    for (int band = 0; band < bands; ++band) {
        const int bandTop = band * kBandRows;
        const int bandEnd = std::min(bandTop + kBandRows, height);
        for (int i = 0; i < count; ++i) {
            const BlobPlacement& b = blobs[i];
            if (!b.visible) continue;
            const int top = std::max(b.centreY - b.half, bandTop);
            const int end = std::min(b.centreY + b.half, bandEnd);
            if (top >= end) continue;
            const int left = std::max(b.centreX - b.half, 0);
            const int right = std::min(b.centreX + b.half, width);
            for (int y = top; y < end; ++y) {
                const int32_t v = (y - b.centreY + b.half) * b.step;  // 16.16 kernel row
                const int32_t* kernelRow = kernel + static_cast<ptrdiff_t>(v >> 16) * 256;
                int32_t* row = accum + static_cast<ptrdiff_t>(y) * width;
                for (int x = left; x < right; ++x) {
                    const int32_t u = (x - b.centreX + b.half) * b.step;  // 16.16 kernel column
                    // Outside the disk k is 0 and the counter stays as it is.
                    const int32_t c = row[x] + ((kernelRow[u >> 16] * b.weight) >> 16);
                    row[x] = c < kCounterLimit ? c : kCounterLimit;
                }
            }
        }
    }
}
