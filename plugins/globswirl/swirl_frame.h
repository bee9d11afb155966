// VyrGlobSwirl1's parameters and the quantities one frame derives from
// them and from the frame size.
#pragma once

#include "blob_view.h"
#include "mode_table.h"
#include "params.h"
#include "particle_config.h"

struct SwirlFrame {
    float sceneSpan;               // S: edge of the scene cube, 1.2 x the larger side
    float frameScale;              // K: (w + h) / 672
    float angleX, angleY, angleZ;  // view rotation, radians
    ViewShifts shifts;
    bool drawOn;
    bool alphaOn;
    int particleCount;  // N, 1..kSwirlParticles
    float blobSize;     // D: largest blob diameter in pixels
    float speed;        // V: step length of the motion
    int noiseAmount;    // grain levels, 0..128
};

// The preset a "Mode" value (already clamped to 0..1) asks for: 0..4 in
// fifths, 5 only at exactly 1.
int presetIndex(float mode);

// Everything a frame needs from the clamped parameters, the frame size and
// the preset in force.
SwirlFrame swirlFrameValues(const float (&param)[kNumParams], int width, int height, const ModeRecord& mode);

// The rotation and placement of the swarm's blobs for a frame of
// width x height: nearer blobs weigh from about 0.4 (at the back of the
// scene cube) up to 1.
BlobView swirlBlobView(const SwirlFrame& frame, int width, int height);
