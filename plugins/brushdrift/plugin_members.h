// VyrBrushDrift1's members of the instance object.
#pragma once

#include <cstdint>
#include <vector>

#include "params.h"
#include "particle_field.h"

constexpr int kParticleCapacity = 1024;
constexpr int kAttractorSlots = 8;

// Where one particle stamps its brush dot this frame: the dot's top-left
// pixel (may lie outside the frame), the side of the square it covers (its
// size rounded down to even), the kernel advance per pixel (16.16), its
// coverage strength (16.16 weight, 25936..65536) and its paint for pixel
// bytes 0, 1, 2.
struct BrushDot {
    int32_t left, top;
    int32_t size;
    int32_t step;
    int32_t strength;
    int32_t colour[3];
    bool visible;  // false when the dot lies wholly outside the frame
};

// accumBuffer is the paint canvas: each 4-byte cell holds colour bytes 0, 1,
// 2 in the host's byte order and an alpha byte 3.
struct SceneMembers : ParticleField {
    std::vector<uint8_t> workFrame;      // N x B: coverage-weighted picture
    std::vector<uint8_t> feedbackFrame;  // N x B: previous output, black at first
    std::vector<uint8_t> coverageMap;    // N: paint received per pixel, 0..255
    std::vector<BrushDot> dots;          // one per particle slot, placed per frame
};
