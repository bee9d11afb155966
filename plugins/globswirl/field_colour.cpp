#include "field_colour.h"

#include <cstddef>
#include <cstring>

#include "parallel_bands.h"

FieldPalette::FieldPalette(const ParticleField& field, const FieldColouring& colouring, int bytesPerPixel)
    : bytesPerPixel_(bytesPerPixel),
      grain_(colouring.noiseAmount >= 1 ? field.noiseBytes.data() + colouring.noiseOffset : nullptr),
      colourSpan_(VYR_PICK_ISA_KERNEL(colourSpan)) {
    const ModeRecord& mode = *field.activeMode;
    // Three-byte pixels have nowhere to put alpha, so they never take the ramp.
    const bool alphaRamp = bytesPerPixel == 4 && colouring.alphaOn;
    for (int g = 0; g < 256; ++g) {
        const uint8_t bgra[4] = {mode.rampBlue[g], mode.rampGreen[g], mode.rampRed[g],
                                 alphaRamp ? mode.rampAlpha[g] : uint8_t(255)};
        std::memcpy(&ramp_.pixel[g], bgra, 4);
        for (int ch = 0; ch < 4; ++ch) ramp_.channel[ch][g] = bgra[ch];
    }
    ramp_.grainAmount = colouring.noiseAmount;
    ramp_.grainBias = colouring.noiseAmount >> 1;
    // With the alpha ramp the floors are skipped, so that an empty field
    // stays at level 0 and with it fully transparent.
    ramp_.levelA = alphaRamp ? INT32_MIN : mode.floorLevelA;
    ramp_.fillA = mode.floorFillA;
    ramp_.levelB = alphaRamp ? INT32_MIN : mode.floorLevelB;
    ramp_.fillB = mode.floorFillB;
    fillPlainTables(ramp_);
}

void fillPlainTables(ColourRamp& ramp) {
    for (int32_t c = 0; c <= kCounterLimit; ++c) {
        int32_t g = c >> 2;  // counters run 0..1024, levels 0..256
        if (g < ramp.levelA) g = ramp.fillA;
        if (g < ramp.levelB) g = ramp.fillB;
        ramp.counterPixel[c] = ramp.pixel[g < 0 ? 0 : (g > 255 ? 255 : g)];
    }
    ramp.opaque = 1;
    for (int g = 0; g < 256; ++g) {
        uint8_t bgra[4];
        std::memcpy(bgra, &ramp.counterPixel[4 * g], 4);
        for (int ch = 0; ch < 4; ++ch) ramp.plainChannel[ch][g] = bgra[ch];
        if (ramp.channel[3][g] != 255) ramp.opaque = 0;
    }
    ramp.plainFits = ramp.counterPixel[kCounterLimit] == ramp.counterPixel[kCounterLimit - 4] ? 1 : 0;
}

void FieldPalette::colourPixels(const int32_t* counters, int first, int count, uint8_t* pixels) const {
    colourSpan_(&ramp_, counters, grain_ == nullptr ? nullptr : grain_ + first, count,
                pixels + static_cast<ptrdiff_t>(first) * bytesPerPixel_, bytesPerPixel_);
}

void mapFieldToFrame(const ParticleField& field, const FieldColouring& colouring, uint8_t* pixels, int bytesPerPixel,
                     int pixelCount) {
    const FieldPalette palette(field, colouring, bytesPerPixel);
    const int32_t* counters = field.accumBuffer.data();
    forEachBand(pixelCount, BandSplit{0, 1},
                [&](int begin, int end) { palette.colourPixels(counters + begin, begin, end - begin, pixels); });
}
