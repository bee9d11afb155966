// Blob placement, stamping and grey output of VyrGlobHeap1.
#include "splat.h"

#include <algorithm>

namespace {

constexpr int kCounterLimit = 1024;  // white: a little over three overlapping near blob centres (320 each)
constexpr int kMinDiameter = 10;

}  // namespace

bool placeBlob(int sx, int sy, float depthCue, const SceneView& view, BlobPlacement& out) {
    // 16.16 weight: half brightness at the far end of the cube, full at the near end.
    const int weight = static_cast<int>(32768.0f * depthCue) + 32768;
    int s = static_cast<int>(depthCue * (0.9375f * view.D) + 0.0625f * view.D);
    if (s < kMinDiameter) s = kMinDiameter;
    const int half = s >> 1;
    if (sx + half <= 0 || sx - half >= view.w || sy + half <= 0 || sy - half >= view.h) return false;
    out.cornerX = sx - half;
    out.cornerY = sy - half;
    out.left = std::max(sx - half, 0);
    out.right = std::min(sx + half, view.w);
    out.top = std::max(sy - half, 0);
    out.bottom = std::min(sy + half, view.h);
    out.step = 16777216 / s;  // 256 / s in 16.16
    out.weight = weight;
    return true;
}

int placeBlobs(const ParticleRecord* particles, int count, const SceneView& view, BlobPlacement* out) {
    int visible = 0;
    const int centreX = view.w >> 1;
    const int centreY = view.h >> 1;
    for (int i = 0; i < count; ++i) {
        const ParticleRecord& p = particles[i];
        const float X = p.x + view.tX;
        const float Y = p.y + view.tY;
        const float Z = p.z + view.tZ;
        const float y1 = view.cX * Y - view.sX * Z;
        const float z1 = view.sX * Y + view.cX * Z;
        const float z2 = view.cY * z1 - view.sY * X;
        const float x1 = view.sY * z1 + view.cY * X;
        const float x2 = view.cZ * x1 - view.sZ * y1;
        const float y2 = view.sZ * x1 + view.cZ * y1;
        // Orthographic: one scene unit is one pixel.
        const int sx = static_cast<int>(static_cast<float>(static_cast<int>(x2) + centreX) + view.oX);
        const int sy = static_cast<int>(static_cast<float>(static_cast<int>(y2) + centreY) + view.oY);
        // Nearness: 0 at the back face of the cube, 1 at the front.
        float depthCue = (z2 + 0.5f * view.sceneSpan) / view.sceneSpan;
        if (depthCue < 0.01f) depthCue = 0.01f;
        if (depthCue > 1.0f) depthCue = 1.0f;
        if (placeBlob(sx, sy, depthCue, view, out[visible])) ++visible;
    }
    return visible;
}

void findKernelSpans(const int32_t* kernel, KernelRowSpan* spans) {
    for (int row = 0; row < 256; ++row) {
        const int32_t* cells = kernel + row * 256;
        int first = 0;
        while (first < 256 && cells[first] <= 0) ++first;
        int end = 256;
        while (end > first && cells[end - 1] <= 0) --end;
        spans[row] = KernelRowSpan{first, end};
    }
}

void stampRow(int y, const BlobPlacement* blobs, int blobCount, const int32_t* kernel, const KernelRowSpan* spans,
              int32_t* counters, int w) {
    std::fill(counters, counters + w, 0);
    // Once every counter of the row is saturated, further blobs change nothing.
    int saturated = 0;
    for (int b = 0; b < blobCount && saturated < w; ++b) {
        const BlobPlacement& blob = blobs[b];
        if (y < blob.top || y >= blob.bottom) continue;
        const int step = blob.step;
        const int v = (y - blob.cornerY) * step;  // 16.16 kernel row
        const KernelRowSpan span = spans[v >> 16];
        if (span.first == span.end) continue;
        // Only the pixels whose kernel column falls inside the span:
        // column (j * step) >> 16 >= first  <=>  j >= ceil(first * 65536 / step).
        const int jFirst = (span.first * 65536 + step - 1) / step;
        const int jEnd = (span.end * 65536 + step - 1) / step;
        const int left = std::max(blob.left, blob.cornerX + jFirst);
        const int right = std::min(blob.right, blob.cornerX + jEnd);
        const int32_t* kernelRow = kernel + (v >> 16) * 256;
        const int weight = blob.weight;
        int u = (left - blob.cornerX) * step;  // 16.16 kernel column
        for (int x = left; x < right; ++x, u += step) {
            const int k = kernelRow[u >> 16];
            if (k <= 0) continue;
            const int before = counters[x];
            const int after = std::min(before + ((k * weight) >> 16), kCounterLimit);
            counters[x] = after;
            saturated += (after == kCounterLimit) & (before != kCounterLimit);
        }
    }
}

void shadeRow(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w, int B) {
    const int centre = noiseAmount >> 1;  // grain adds -n/2 .. about +n/2
    for (int x = 0; x < w; ++x) {
        const int a = counters[x] >> 2;  // 0..256
        int g;
        if (noiseAmount < 1) {
            g = std::min(a, 255);
        } else {
            g = a - centre + ((noise[x] * noiseAmount) >> 8);
            g = std::clamp(g, 0, 255);
        }
        uint8_t* px = pixels + x * B;
        px[0] = px[1] = px[2] = static_cast<uint8_t>(g);
        if (B == 4) px[3] = 255;
    }
}
