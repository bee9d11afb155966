// How VyrBrushDrift1's particle field is built.
#pragma once

#include "particle_field.h"

constexpr int kParticleCapacity = 1024;  // particle slots
constexpr int kAttractorSlots = 8;

inline constexpr ParticleConfig kBrushField = {
    kParticleCapacity,
    kAttractorSlots,
    true,   // kernel flattened at 255
    true,   // each particle carries its paint
    false,  // no grain
    false,  // no counters: the dots paint a canvas of their own
    // Preset 0: speed 10 x v, dots 256 x v wide, floors 12 -> 50 and 20 -> 0,
    // 1024 particles, 8 attractors; the staircase wraps.
    {{10.0f, 0.0f, 256.0f, 0.0f, 12, 50, 20, 0, 1024, 8, 0.2f, 0.2f}, 32},
};
