// How VyrGlobHeap1's particle field is built.
#pragma once

#include "particle_field.h"

constexpr int kHeapParticles = 256;  // particle slots
constexpr int kHeapAttractors = 16;  // attractor slots

inline constexpr ParticleConfig kHeapField = {
    kHeapParticles,
    kHeapAttractors,
    false,  // profile peaks at 320
    false,  // no colour words
    true,   // grain table
    true,   // counters
    // Preset 0: speed 10 x v, blobs 512 x v wide, no floors, 256 particles,
    // 16 attractors; a staircase of sixteen steps.
    {{10.0f, 0.0f, 512.0f, 0.0f, 0, 0, 0, 0, 256, 16, 0.2f, 0.2f}, 16},
};
