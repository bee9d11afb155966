// The quantities one VyrGlobHeap1 frame derives from the parameters, the
// frame size and the preset in force.
#pragma once

#include "blob_view.h"
#include "mode_table.h"
#include "params.h"
#include "particle_config.h"
#include "scene_view.h"

struct HeapFrame {
    float sceneSpan;               // S: edge of the scene cube, 1.2 x the larger side
    float frameScale;              // K: (w + h) / 672
    double spinStep;               // radians added to the spin angle this frame, at most 2 pi / 100 either way
    float angleX, angleY, angleZ;  // fixed view rotation, radians, before the spin is added
    ViewShifts shifts;
    float blobSize;     // D: blob diameter at full nearness, pixels
    float speed;        // V: step length of the motion
    int particleCount;  // N, 1..kHeapParticles
    int noiseAmount;    // grain levels, 0..128
};

HeapFrame heapFrameValues(const float (&param)[kNumParams], int width, int height, const ModeRecord& mode);
