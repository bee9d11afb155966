// The swarm's blobs on the frame: placement and stamping.
#include "blob_view.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "parallel_bands.h"
#include "stamp_kernel.h"

namespace {

constexpr int32_t kMinDiameter = 10;

// Truncation toward zero, limited to +-2^30 so that the placement arithmetic
// stays within int32 for particles that have drifted far off any frame; such
// a position, and one that is not a number, is off every frame.
int32_t truncLimited(float v) {
    constexpr float kLimit = 1073741824.0f;  // 2^30
    if (!(v > -kLimit)) return -1073741824;
    if (v > kLimit) return 1073741824;
    return static_cast<int32_t>(v);
}

}  // namespace

ViewShifts viewShifts(float S, float originX, float originY, float translateX, float translateY, float translateZ) {
    ViewShifts s;
    s.originX = (originX - 0.5f) * (2.0f * S);
    s.originY = (originY - 0.5f) * (2.0f * S);
    s.translateX = (translateX - 0.5f) * (0.02f * S);
    s.translateY = (translateY - 0.5f) * (0.02f * S);
    s.translateZ = (translateZ - 0.5f) * (0.02f * S);
    return s;
}

BlobView blobView(int width, int height, float S, float D, const ViewShifts& shifts, const ViewRotation& rotation,
                  BlobWeighting weighting) {
    BlobView view;
    view.width = width;
    view.height = height;
    view.sceneSpan = S;
    view.blobSize = D;
    view.translateX = shifts.translateX;
    view.translateY = shifts.translateY;
    view.translateZ = shifts.translateZ;
    view.originX = shifts.originX;
    view.originY = shifts.originY;
    view.rotation = rotation;
    view.weighting = weighting;
    return view;
}

bool placeBlobAt(int32_t sx, int32_t sy, float depthCue, const BlobView& view, BlobPlacement& out) {
    const float D = view.blobSize;
    const int32_t size = std::max(static_cast<int32_t>(depthCue * (0.9375f * D) + 0.0625f * D), kMinDiameter);
    const int32_t half = size >> 1;
    out.size = size;
    out.step = 16777216 / size;  // 256 / size in 16.16
    out.weight = static_cast<int32_t>(view.weighting.gain * depthCue) + view.weighting.bias;
    out.cornerX = sx - half;
    out.cornerY = sy - half;
    out.left = std::max(sx - half, 0);
    out.right = std::min(sx + half, view.width);
    out.top = std::max(sy - half, 0);
    out.bottom = std::min(sy + half, view.height);
    // In 64 bits, so that no centre and diameter can wrap round onto the frame.
    const int64_t x = sx, y = sy, h = half;
    return !(x + h <= 0 || x - h >= view.width || y + h <= 0 || y - h >= view.height);
}

bool placeBlob(const ParticleRecord& particle, const BlobView& view, BlobPlacement& out) {
    const Vec3 v = rotateIntoView(view.rotation, particle.x + view.translateX, particle.y + view.translateY,
                                  particle.z + view.translateZ);
    const int32_t sx = truncLimited(static_cast<float>(truncLimited(v.x) + (view.width >> 1)) + view.originX);
    const int32_t sy = truncLimited(static_cast<float>(truncLimited(v.y) + (view.height >> 1)) + view.originY);
    return placeBlobAt(sx, sy, depthCue(v.z, view.sceneSpan), view, out);
}

int placeBlobs(const ParticleRecord* particles, int count, const BlobView& view, BlobPlacement* out) {
    int visible = 0;
    for (int i = 0; i < count; ++i)
        if (placeBlob(particles[i], view, out[visible])) ++visible;
    return visible;
}

namespace {

// Bands of 16 rows: dealt out to the threads in turn, they keep them evenly
// loaded where blobs crowd one part of the frame, and a band's counters stay
// in cache while its blobs are stamped and its rows handed on.
constexpr int kBandRows = 16;
// Rebuilds rows top..end-1 (at most kBandRows of them) from zero. Blobs are
// taken one at a time over all the rows of the band they cover, so a blob
// off the band costs one test per band rather than one per row.
void stampBand(int top, int end, const BlobPlacement* blobs, int blobCount, const int32_t* kernel,
               const KernelRowSpan* spans, int32_t* rows, int w) {
    std::fill(rows, rows + size_t(end - top) * size_t(w), 0);
    const auto stampSpan = VYR_PICK_ISA_KERNEL(stampBlobSpan);
    // Saturated counters per row: once all of a row's are, further blobs
    // change nothing there, and once every row is full the band is done.
    int saturated[kBandRows] = {};
    int fullRows = 0;
    for (int b = 0; b < blobCount && fullRows < end - top; ++b) {
        const BlobPlacement& blob = blobs[b];
        if (blob.left >= blob.right) continue;  // off the frame
        const int firstRow = std::max(blob.top, top);
        const int endRow = std::min(blob.bottom, end);
        const int step = blob.step;
        const int weight = blob.weight;
        for (int y = firstRow; y < endRow; ++y) {
            int& rowSaturated = saturated[y - top];
            if (rowSaturated == w) continue;
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
            int32_t* counters = rows + size_t(y - top) * size_t(w);
            // The profile is never negative, so counters only grow and a
            // saturated one stays saturated; its zeros add nothing, which is
            // cheaper than testing for them.
            if (left < right)
                rowSaturated +=
                    stampSpan(counters + left, kernelRow, right - left, (left - blob.cornerX) * step, step, weight);
            fullRows += rowSaturated == w;
        }
    }
}

}  // namespace

void stampRows(int top, int end, const BlobPlacement* blobs, int blobCount, const int32_t* kernel,
               const KernelRowSpan* spans, int32_t* rows, int w, RowSink sink) {
    for (int bandTop = top; bandTop < end; bandTop += kBandRows) {
        const int bandEnd = std::min(bandTop + kBandRows, end);
        int32_t* bandRows = rows + size_t(bandTop - top) * size_t(w);
        stampBand(bandTop, bandEnd, blobs, blobCount, kernel, spans, bandRows, w);
        if (sink.done != nullptr)
            for (int y = bandTop; y < bandEnd; ++y)
                sink.done(sink.context, y, bandRows + size_t(y - bandTop) * size_t(w));
    }
}

void stampBlobs(ParticleField& field, const BlobPlacement* blobs, int blobCount, int w, int h, RowSink sink) {
    const int32_t* kernel = field.blobKernel.data();
    const KernelRowSpan* spans = field.kernelSpans;
    if (sink.done != nullptr) {
        // The rows only pass through: each thread stamps its bands in a band
        // of counters of its own that stays in cache, and the frame-sized
        // buffer is neither cleared nor written back.
        forEachBand(h, BandSplit{kBandRows, w}, [=](int top, int end) {
            thread_local std::vector<int32_t> scratch;
            if (scratch.size() < size_t(kBandRows) * size_t(w)) scratch.resize(size_t(kBandRows) * size_t(w));
            stampRows(top, end, blobs, blobCount, kernel, spans, scratch.data(), w, sink);
        });
        return;
    }
    int32_t* counters = field.accumBuffer.data();
    forEachBand(h, BandSplit{kBandRows, w}, [=](int top, int end) {
        stampRows(top, end, blobs, blobCount, kernel, spans, counters + size_t(top) * size_t(w), w);
    });
}
