// VyrBrushDrift1's members of the instance object.
#pragma once

#include <cstdint>
#include <vector>

#include "blob_view.h"
#include "params.h"
#include "particle_config.h"
#include "particle_field.h"

struct SceneMotion {
    ParticleMotion particles;
};

// One particle's brush dot this frame: where it stamps, as every blob is
// placed (its weight is the dot's coverage strength, 16.16, 25936..65536),
// and its paint for pixel bytes 0, 1, 2.
struct BrushDot {
    BlobPlacement blob;
    int32_t colour[3];
};

struct SceneMembers : ParticleField {
    // The paint canvas, N cells of 4 bytes: colour bytes 0, 1, 2 in the
    // host's byte order and an alpha byte 3, whatever the frame's depth.
    std::vector<uint8_t> canvas;
    std::vector<uint8_t> workFrame;      // N x B: coverage-weighted picture
    std::vector<uint8_t> feedbackFrame;  // N x B: previous output, black at first
    // For a face that draws a frame again: the trail before the frame drawn
    // last (sized on first use), and whether that frame restarted it.
    std::vector<uint8_t> trailBefore;
    bool trailRestarts = false;
    bool trailRestartedBefore = false;
    std::vector<uint8_t> coverageMap;  // N: paint received per pixel, 0..255
    std::vector<BrushDot> dots;        // the visible dots of this frame, in particle order
    int dotCount = 0;
    std::vector<int32_t> sinCosTable;  // the swirl's 65536 steps of a turn: (sine, cosine) pairs, 16.16
    std::vector<int32_t> thirdTable;   // 768 entries, i / 3: a pixel's mean from the sum of its colour bytes
};
