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
// Stamps the blobs into rows top..end-1 (at most kBandRows of them, all
// zero at the start). Blobs are taken one at a time over all the rows of the band they cover, so a blob
// off the band costs one test per band rather than one per row. `Counter`
// is the counters' type: int32_t, or uint16_t for the 16-bit kernels.
// Answers false, and leaves the rows unfinished, when a blob's weighted
// kernel values do not fit 16-bit counters.
template <class Counter, class StampRow>
bool stampBandWith(int top, int end, const BlobPlacement* blobs, int blobCount, const KernelRowSpan* spans,
                   Counter* rows, int w, StampRow&& stampRow) {
    // Saturated counters per row: once all of a row's are, further blobs
    // change nothing there, and once every row is full the band is done.
    int saturated[kBandRows] = {};
    int fullRows = 0;
    for (int b = 0; b < blobCount && fullRows < end - top; ++b) {
        const BlobPlacement& blob = blobs[b];
        if (blob.left >= blob.right) continue;  // off the frame
        const int firstRow = std::max(blob.top, top);
        const int endRow = std::min(blob.bottom, end);
        if (firstRow >= endRow) continue;
        const int step = blob.step;
        bool blobStarted = false;
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
            // The profile is never negative, so counters only grow and a
            // saturated one stays saturated; its zeros add nothing, which is
            // cheaper than testing for them.
            if (left < right) {
                const int reached =
                    stampRow(blob, !blobStarted, v >> 16, span, left, right, rows + size_t(y - top) * size_t(w));
                if (reached < 0) return false;
                blobStarted = true;
                rowSaturated += reached;
            }
            fullRows += rowSaturated == w;
        }
    }
    return true;
}

void stampBand(int top, int end, const BlobPlacement* blobs, int blobCount, const int32_t* kernel,
               const KernelRowSpan* spans, int32_t* rows, int w) {
    const auto stampSpan = VYR_PICK_ISA_KERNEL(stampBlobSpan);
    std::fill(rows, rows + size_t(end - top) * size_t(w), 0);
    stampBandWith(
        top, end, blobs, blobCount, spans, rows, w,
        [&](const BlobPlacement& blob, bool, int kernelRow, KernelRowSpan, int left, int right, int32_t* counters) {
            return stampSpan(counters + left, kernel + kernelRow * 256, right - left, (left - blob.cornerX) * blob.step,
                             blob.step, blob.weight);
        });
}

// The band in 16-bit counters, from the kernel's 16-bit copy, where the
// path has kernels that gain by it (twice the pixels per vector): each
// blob's kernel columns are listed once per band. The rows must be all
// zero at the start. Answers false when a blob's weight is outside the
// 16-bit kernel's range.
bool stampBand16(int top, int end, const BlobPlacement* blobs, int blobCount, const uint16_t* kernel,
                 const KernelRowSpan* spans, uint16_t* rows, int w) {
    const auto stampSpan = VYR_PICK_ISA_KERNEL(stampBlobSpan16);
    const auto listColumns = VYR_PICK_ISA_KERNEL(blobColumns);
    thread_local std::vector<uint8_t> columns;
    if (columns.size() < size_t(w) + kColumnPad) columns.resize(size_t(w) + kColumnPad);
    return stampBandWith(
        top, end, blobs, blobCount, spans, rows, w,
        [&](const BlobPlacement& blob, bool firstRow, int kernelRow, KernelRowSpan, int left, int right,
            uint16_t* counters) {
            if (firstRow) {
                if (blob.weight < 0 || blob.weight > 65536) return -1;
                listColumns(columns.data(), blob.left - blob.cornerX, blob.right - blob.left, blob.step);
            }
            return stampSpan(counters + left, kernel + kernelRow * 256, columns.data() + (left - blob.left),
                             right - left, blob.step, blob.weight);
        });
}

// The kernel's 16-bit copy, with the padding the 16-bit kernels read past
// its end, for paths that stamp 16-bit counters: made afresh on every call
// in the calling thread's buffer. Null on the other paths, or when a value
// does not fit.
const uint16_t* narrowKernelFor(const int32_t* kernel) {
    if (activeIsa() != Isa::Avx512) return nullptr;
    constexpr int kCells = 256 * 256;
    thread_local std::vector<uint16_t> narrow(size_t(kCells) + kNarrowRowPad, 0);
    return VYR_PICK_ISA_KERNEL(narrowKernel)(narrow.data(), kernel, kCells) ? narrow.data() : nullptr;
}

// stampRows with the kernel's 16-bit copy (null: the 32-bit kernels only).
void stampRowsWith(int top, int end, const BlobPlacement* blobs, int blobCount, const int32_t* kernel,
                   const uint16_t* narrowKernel, const KernelRowSpan* spans, int32_t* rows, int w, RowSink sink) {
    const auto widen = VYR_PICK_ISA_KERNEL(widenAndClear);
    // The thread's 16-bit band, all zero between bands: each row is cleared
    // as it is widened into the caller's rows.
    thread_local std::vector<uint16_t> narrowRows;
    if (narrowKernel != nullptr && narrowRows.size() < size_t(kBandRows) * size_t(w))
        narrowRows.resize(size_t(kBandRows) * size_t(w));
    for (int bandTop = top; bandTop < end; bandTop += kBandRows) {
        const int bandEnd = std::min(bandTop + kBandRows, end);
        int32_t* bandRows = rows + size_t(bandTop - top) * size_t(w);
        bool wide = true;
        if (narrowKernel != nullptr) {
            wide = !stampBand16(bandTop, bandEnd, blobs, blobCount, narrowKernel, spans, narrowRows.data(), w);
            if (wide) std::fill(narrowRows.begin(), narrowRows.end(), uint16_t(0));
        }
        if (wide) stampBand(bandTop, bandEnd, blobs, blobCount, kernel, spans, bandRows, w);
        if (!wide && sink.done16 != nullptr) {
            // The sink takes the 16-bit rows as they are; the band is
            // cleared for the next one once it has them all.
            for (int y = bandTop; y < bandEnd; ++y)
                sink.done16(sink.context, y, narrowRows.data() + size_t(y - bandTop) * size_t(w));
            std::fill(narrowRows.begin(), narrowRows.begin() + std::ptrdiff_t(bandEnd - bandTop) * w, uint16_t(0));
            continue;
        }
        for (int y = bandTop; y < bandEnd; ++y) {
            int32_t* row = bandRows + size_t(y - bandTop) * size_t(w);
            if (!wide) widen(row, narrowRows.data() + size_t(y - bandTop) * size_t(w), w);
            if (sink.done != nullptr) sink.done(sink.context, y, row);
        }
    }
}

}  // namespace

void stampRows(int top, int end, const BlobPlacement* blobs, int blobCount, const int32_t* kernel,
               const KernelRowSpan* spans, int32_t* rows, int w, RowSink sink) {
    stampRowsWith(top, end, blobs, blobCount, kernel, narrowKernelFor(kernel), spans, rows, w, sink);
}

void stampBlobs(ParticleField& field, const BlobPlacement* blobs, int blobCount, int w, int h, RowSink sink) {
    const int32_t* kernel = field.blobKernel.data();
    const KernelRowSpan* spans = field.kernelSpans;
    // Narrowed once per frame, for all the bands.
    const uint16_t* narrowKernel = narrowKernelFor(kernel);
    if (sink.done != nullptr) {
        // The rows only pass through: each thread stamps its bands in a band
        // of counters of its own that stays in cache, and the frame-sized
        // buffer is neither cleared nor written back.
        forEachBand(h, BandSplit{kBandRows, w}, [=](int top, int end) {
            thread_local std::vector<int32_t> scratch;
            if (scratch.size() < size_t(kBandRows) * size_t(w)) scratch.resize(size_t(kBandRows) * size_t(w));
            stampRowsWith(top, end, blobs, blobCount, kernel, narrowKernel, spans, scratch.data(), w, sink);
        });
        return;
    }
    int32_t* counters = field.accumBuffer.data();
    forEachBand(h, BandSplit{kBandRows, w}, [=](int top, int end) {
        stampRowsWith(top, end, blobs, blobCount, kernel, narrowKernel, spans, counters + size_t(top) * size_t(w), w,
                      RowSink{nullptr, nullptr});
    });
}
