// Blob placement, stamping and grey output of VyrGlobHeap1.
#pragma once

#include <cstdint>

#include "particle_field.h"

// One blob's square on the frame: the unclipped corner the kernel is walked
// from, and the clipped pixel box it covers (right and bottom exclusive).
struct BlobPlacement {
    int cornerX, cornerY;
    int left, top, right, bottom;
    int step;    // 16.16 kernel cells per pixel: 256 / diameter
    int weight;  // 16.16 brightness, 0.505 .. 1.0
};

// Rotation and placement of the cloud for one frame.
struct SceneView {
    int w, h;
    float sceneSpan;     // edge of the scene cube
    float D;             // blob diameter at full nearness, pixels
    float tX, tY, tZ;    // shift of the cloud before rotation
    float oX, oY;        // shift of the picture, pixels
    float sX, cX, sY, cY, sZ, cZ;
};

// The square of a blob centred on pixel (sx, sy) at depthCue (0.01..1);
// false when it lies wholly off the frame.
bool placeBlob(int sx, int sy, float depthCue, const SceneView& view, BlobPlacement& out);

// Rotates and projects particles 0..count-1; writes the visible ones in
// particle order and answers how many there are.
int placeBlobs(const ParticleRecord* particles, int count, const SceneView& view, BlobPlacement* out);

// The columns of one kernel row that can hold non-zero values, [first, end);
// empty (first == end) for a row of zeros.
struct KernelRowSpan {
    int first, end;
};

// Finds the spans of all 256 rows of the 256 x 256 blob profile.
void findKernelSpans(const int32_t* kernel, KernelRowSpan* spans);

// Rebuilds the counters of row y from zero: every blob that covers the row
// adds its profile times its weight, saturating at 1024. The kernel is the
// 256 x 256 profile (0..320), spans its row spans.
void stampRow(int y, const BlobPlacement* blobs, int blobCount, const int32_t* kernel, const KernelRowSpan* spans,
              int32_t* counters, int w);

// Turns one row of counters into grey pixels of B bytes (alpha 255 when B is
// 4), with grain of amount 0..128 from the row's window of noise bytes.
void shadeRow(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w, int B);
