// How VyrGlobSwirl1's particle field is built.
#pragma once

#include "particle_field.h"

constexpr int kSwirlParticles = 1024;  // particle slots
constexpr int kSwirlAttractors = 8;    // attractor slots

inline constexpr ParticleConfig kSwirlField = {
    kSwirlParticles,
    kSwirlAttractors,
    true,   // blob profile flattened at 255
    false,  // no colour words
    true,   // grain bytes
    false,  // no frame of counters: each band of rows is coloured as it is stamped
    // Preset 0: speed 6 x v, blobs 256 x v wide, floors 12 -> 50 and 20 -> 0,
    // 1024 particles, 8 attractors; the staircase wraps.
    {{6.0f, 0.0f, 256.0f, 0.0f, 12, 50, 20, 0, 1024, 8, 0.2f, 0.2f}, 32},
};
