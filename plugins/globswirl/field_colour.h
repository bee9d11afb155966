// Turning the density field into the output picture through the colour
// ramps of the preset in force.
#pragma once

#include <cstdint>

#include "blob_view.h"
#include "particle_field.h"

// The grain and alpha choices of one frame.
struct FieldColouring {
    int noiseAmount;  // grain levels, 0..128; below 1 no grain
    int noiseOffset;  // where in noiseBytes this frame's grain starts, below kGrainWindow
    bool alphaOn;     // 4-byte pixels take their alpha from the preset's alpha ramp
};

// Writes `pixelCount` pixels of `bytesPerPixel` (3 or 4) bytes each, blue,
// green, red[, alpha], from field.accumBuffer and field.activeMode.
void mapFieldToFrame(const ParticleField& field, const FieldColouring& colouring, uint8_t* pixels,
                     int bytesPerPixel, int pixelCount);
