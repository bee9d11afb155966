// Turning the density field into the output picture through the colour
// ramps of the preset in force.
#pragma once

#include <cstdint>

#include "blob_view.h"
#include "colour_kernels.h"
#include "particle_field.h"

// The grain and alpha choices of one frame.
struct FieldColouring {
    int noiseAmount;  // grain levels, 0..128; below 1 no grain
    int noiseOffset;  // where in noiseBytes this frame's grain starts, below kGrainWindow
    bool alphaOn;     // 4-byte pixels take their alpha from the preset's alpha ramp
};

// The colours of one frame: the preset's ramps with its floors (or its
// alpha ramp), and the frame's grain, coloured by the kernel of the
// instruction-set path in force.
class FieldPalette {
   public:
    FieldPalette(const ParticleField& field, const FieldColouring& colouring, int bytesPerPixel);
    // Colours pixels first..first+count-1 (pixel indices of the frame) from
    // their counters, counters[0] being pixel first's.
    void colourPixels(const int32_t* counters, int first, int count, uint8_t* pixels) const;

   private:
    int bytesPerPixel_;
    const uint8_t* grain_;  // null without grain
    ColourRamp ramp_;
    decltype(&colourSpan_portable) colourSpan_;
};

// Fills ramp's grainless tables (and its opaque mark) from its pixel and
// channel tables and its floors.
void fillPlainTables(ColourRamp& ramp);

// Writes `pixelCount` pixels of `bytesPerPixel` (3 or 4) bytes each, blue,
// green, red[, alpha], from field.accumBuffer and field.activeMode.
void mapFieldToFrame(const ParticleField& field, const FieldColouring& colouring, uint8_t* pixels, int bytesPerPixel,
                     int pixelCount);
