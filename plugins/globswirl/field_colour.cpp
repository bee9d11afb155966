#include "field_colour.h"

#include <cstddef>
#include <cstring>

#include "parallel_bands.h"

namespace {

// One output pixel in memory order.
struct Bgra {
    uint8_t b, g, r, a;
};

inline int32_t limitLevel(int32_t g) { return g < 0 ? 0 : (g > 255 ? 255 : g); }

// The floor substitution: levels below the first threshold take its fill,
// then levels below the second take that one's.
inline int32_t applyFloors(const ModeRecord& mode, int32_t g) {
    if (g < mode.floorLevelA) g = mode.floorFillA;
    if (g < mode.floorLevelB) g = mode.floorFillB;
    return g;
}

template <int kBytes>
inline void writePixel(uint8_t* pixels, int p, const Bgra& c) {
    std::memcpy(pixels + static_cast<ptrdiff_t>(p) * kBytes, &c, kBytes);
}

// With the alpha ramp the floors are skipped, so that an empty field stays
// at level 0 and with it fully transparent.
template <int kBytes>
void colourPixels(const ParticleField& field, const FieldColouring& colouring, bool alphaRamp, uint8_t* pixels,
                  int pixelCount) {
    const ModeRecord& mode = *field.activeMode;
    const int32_t* counters = field.accumBuffer.data();

    // The colour of every level, so that a pixel costs one lookup.
    Bgra levelColour[256];
    for (int g = 0; g < 256; ++g)
        levelColour[g] = {mode.rampBlue[g], mode.rampGreen[g], mode.rampRed[g],
                          alphaRamp ? mode.rampAlpha[g] : uint8_t(255)};

    const int32_t n = colouring.noiseAmount;
    if (n < 1) {
        // Without grain a pixel's colour depends on its counter alone.
        Bgra counterColour[kCounterLimit + 1];
        for (int32_t c = 0; c <= kCounterLimit; ++c) {
            const int32_t g = c >> 2;  // counters run 0..1024, levels 0..256
            counterColour[c] = levelColour[limitLevel(alphaRamp ? g : applyFloors(mode, g))];
        }
        const Bgra* colourOf = counterColour;
        forEachBand(pixelCount, BandSplit{0, 1}, [=](int begin, int end) {
            for (int p = begin; p < end; ++p) {
                const int32_t c = counters[p];
                // Splatting keeps every counter within 0..1024.
                writePixel<kBytes>(pixels, p, colourOf[c < 0 ? 0 : (c > kCounterLimit ? kCounterLimit : c)]);
            }
        });
        return;
    }

    const uint8_t* grain = field.noiseBytes.data() + colouring.noiseOffset;
    const int32_t grainBias = n >> 1;  // centres the grain on the noise-free level
    const int32_t levelA = mode.floorLevelA, fillA = mode.floorFillA;
    const int32_t levelB = mode.floorLevelB, fillB = mode.floorFillB;
    const Bgra* colourOf = levelColour;
    forEachBand(pixelCount, BandSplit{0, 1}, [=](int begin, int end) {
        for (int p = begin; p < end; ++p) {
            int32_t g = (counters[p] >> 2) - grainBias + ((static_cast<int32_t>(grain[p]) * n) >> 8);
            if (!alphaRamp) {
                if (g < levelA) g = fillA;
                if (g < levelB) g = fillB;
            }
            writePixel<kBytes>(pixels, p, colourOf[limitLevel(g)]);
        }
    });
}

}  // namespace

void mapFieldToFrame(const ParticleField& field, const FieldColouring& colouring, uint8_t* pixels,
                     int bytesPerPixel, int pixelCount) {
    if (bytesPerPixel == 4)
        colourPixels<4>(field, colouring, colouring.alphaOn, pixels, pixelCount);
    else
        // Three-byte pixels have nowhere to put alpha, so they never take the ramp.
        colourPixels<3>(field, colouring, false, pixels, pixelCount);
}
