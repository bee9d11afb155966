// The swarm's blobs on the frame: the square each particle's blob covers
// once rotated into view (scene_view.h), and the stamping of the blobs into
// the per-pixel counters. Shared by the particle plug-ins; what differs between them (how nearness weights a blob, what
// a finished row of counters becomes) is data or the caller's own code.
#pragma once

#include <cstdint>
#include <type_traits>

#include "particle_field.h"
#include "scene_view.h"

// How nearness weights a blob: 16.16 weight = trunc(gain x depthCue) + bias.
struct BlobWeighting {
    float gain;
    int32_t bias;
};

// Where the parameters put the swarm, in pixels: the picture is shifted by
// (origin - 0.5) x 2S on the frame, the swarm by (translate - 0.5) x 0.02 S
// along its own axes before it is rotated. Values of 0.5 shift nothing.
struct ViewShifts {
    float originX, originY;
    float translateX, translateY, translateZ;
};

ViewShifts viewShifts(float S, float originX, float originY, float translateX, float translateY, float translateZ);

// Rotation and placement of the swarm for one frame.
struct BlobView {
    int width, height;                         // the frame, pixels
    float sceneSpan;                           // S: edge of the scene cube
    float blobSize;                            // D: blob diameter at full nearness, pixels
    float translateX, translateY, translateZ;  // shift of the swarm before rotation
    float originX, originY;                    // shift of the picture, pixels
    ViewRotation rotation;
    BlobWeighting weighting;
};

// The view of a width x height frame with scene cube S and blobs D pixels
// wide at full nearness.
BlobView blobView(int width, int height, float S, float D, const ViewShifts& shifts, const ViewRotation& rotation,
                  BlobWeighting weighting);

// One blob's square on the frame: the unclipped corner the kernel is walked
// from, and the part of the square on the frame (right and bottom
// exclusive). The square is 2 x (size >> 1) pixels wide, so an odd size
// covers one pixel less than it says.
struct BlobPlacement {
    int32_t cornerX, cornerY;
    int32_t left, top, right, bottom;
    int32_t size;    // diameter in pixels, at least 10
    int32_t step;    // 16.16 kernel cells per pixel: 256 / size
    int32_t weight;  // 16.16, from the view's weighting
};

// The blob centred on pixel (sx, sy) (each within +-2^30, as placeBlob
// gives them) at nearness depthCue (0.01..1). Fills `out` and answers false
// when the square lies wholly off the frame (its clipped box is then empty).
bool placeBlobAt(int32_t sx, int32_t sy, float depthCue, const BlobView& view, BlobPlacement& out);

// Shift, rotation and orthographic projection of one particle (one scene
// unit is one pixel), then its blob as placeBlobAt places it. Particles
// however far off stay off the frame.
bool placeBlob(const ParticleRecord& particle, const BlobView& view, BlobPlacement& out);

// Places particles 0..count-1; writes the visible blobs to out in particle
// order and answers how many there are. out holds count slots.
int placeBlobs(const ParticleRecord* particles, int count, const BlobView& view, BlobPlacement* out);

// What becomes of each finished row of counters: done(context, y, counters)
// is called once per row, on the thread that stamped it. A sink that can
// also take 16-bit counters (done16, else null) gets them so where the path
// stamps in 16 bits, and the rows are not widened for it.
struct RowSink {
    void (*done)(void* context, int y, const int32_t* counters);
    void* context;
    void (*done16)(void* context, int y, const uint16_t* counters) = nullptr;
};

// Rebuilds rows top..end-1 of the counters (w per row; `rows` points at row
// top's) from zero: every blob that covers a row adds kernel value x weight
// there, saturating at kCounterLimit; blobs wholly off the frame add nothing. kernel
// is the 256 x 256 profile (never negative), spans its row spans. The rows
// are stamped in bands of 16 and go to the sink as each band is finished,
// while they are still in cache (where the sink takes them in 16 bits,
// `rows` keeps nothing of them).
void stampRows(int top, int end, const BlobPlacement* blobs, int blobCount, const int32_t* kernel,
               const KernelRowSpan* spans, int32_t* rows, int w, RowSink sink = RowSink{nullptr, nullptr});

// Stamps the blobs into all h rows of w counters. Without a sink the rows
// are field.accumBuffer (w x h counters), rebuilt. With one, each row is
// handed to the sink when finished, from a band of counters of the
// stamping thread's own (valid only during the call; field.accumBuffer is
// left as it was). Threads take whole bands of rows (forEachBand) and stamp
// every blob into them, so no counter is shared; the sink must keep to its
// row for the same reason.
void stampBlobs(ParticleField& field, const BlobPlacement* blobs, int blobCount, int w, int h,
                RowSink sink = RowSink{nullptr, nullptr});

// stampBlobs handing each finished row to rowDone(y, counters), so that a
// plug-in can turn it into pixels while it is still in cache; counters are
// const int32_t*, or const uint16_t* too where rowDone takes both.
template <class RowDone>
void stampBlobRows(ParticleField& field, const BlobPlacement* blobs, int blobCount, int w, int h, RowDone&& rowDone) {
    using Done = std::remove_reference_t<RowDone>;
    RowSink sink{[](void* context, int y, const int32_t* counters) { (*static_cast<Done*>(context))(y, counters); },
                 const_cast<void*>(static_cast<const void*>(&rowDone))};
    if constexpr (std::is_invocable_v<Done&, int, const uint16_t*>)
        sink.done16 = [](void* context, int y, const uint16_t* counters) {
            (*static_cast<Done*>(context))(y, counters);
        };
    stampBlobs(field, blobs, blobCount, w, h, sink);
}
