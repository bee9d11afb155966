// VyrSnowSpecks1's members of the instance object.
#pragma once

#include <cstdint>
#include <vector>

#include "params.h"
#include "scene_view.h"

// Scene size: at most 16 dots, always 64 attractors.
constexpr int kMaxDots = 16;
constexpr int kNumAttractors = 64;
// The largest reach of a dot in pixels ("Dot Scale" 1 at depth factor 1:
// 507 + 5). A dot covers offsets -reach..reach-1, so |offset| <= kMaxReach.
constexpr int kMaxReach = 512;
// The distance table covers offsets 0..kMaxReach on both axes, whatever the
// frame size, so every dot reads inside it.
constexpr int kDistanceSide = kMaxReach + 1;

// What the dots carry from one step to the next.
struct SceneMotion {
    bool particlesSeeded;
    int32_t particleCount;
    Vec3 attractors[kNumAttractors];
    Vec3 particlePos[kMaxDots];
    Vec3 particleVel[kMaxDots];
};

struct SceneMembers {
    // Brightness accumulators (0..255) of the bands of rows being drawn, one
    // set per thread at work (generator.cpp); all 0 between frames.
    std::vector<std::vector<int32_t>> bandAccum;
    std::vector<int32_t> distanceTable;  // kDistanceSide rows of kDistanceSide, row = |dy|
    bool particlesSeeded = false;
    Vec3 attractors[kNumAttractors] = {};
    int32_t numAttractors = kNumAttractors;
    Vec3 particlePos[kMaxDots] = {};
    Vec3 particleVel[kMaxDots] = {};
    int32_t particleCount = kMaxDots;
    float rotX = 0.0f;
    float rotY = 0.0f;
    float rotZ = 0.0f;
};
