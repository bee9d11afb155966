#include "field_colour.h"

#include <cstddef>
#include <cstring>

#include "parallel_bands.h"

namespace {

inline int32_t limitLevel(int32_t g) { return g < 0 ? 0 : (g > 255 ? 255 : g); }

// The floor substitution: levels below the first threshold take its fill,
// then levels below the second take that one's.
inline int32_t applyFloors(const ModeRecord& mode, int32_t g) {
    if (g < mode.floorLevelA) g = mode.floorFillA;
    if (g < mode.floorLevelB) g = mode.floorFillB;
    return g;
}

template <int kBytesPerPixel>
inline void writePixel(uint8_t* pixels, int p, const FieldPalette::Bgra& c) {
    std::memcpy(pixels + static_cast<ptrdiff_t>(p) * kBytesPerPixel, &c, kBytesPerPixel);
}

}  // namespace

FieldPalette::FieldPalette(const ParticleField& field, const FieldColouring& colouring, int bytesPerPixel)
    : bytesPerPixel_(bytesPerPixel),
      // Three-byte pixels have nowhere to put alpha, so they never take the ramp.
      alphaRamp_(bytesPerPixel == 4 && colouring.alphaOn),
      noise_(colouring.noiseAmount),
      grain_(field.noiseBytes.data() + colouring.noiseOffset) {
    const ModeRecord& mode = *field.activeMode;
    for (int g = 0; g < 256; ++g)
        levelColour_[g] = {mode.rampBlue[g], mode.rampGreen[g], mode.rampRed[g],
                           alphaRamp_ ? mode.rampAlpha[g] : uint8_t(255)};
    // With the alpha ramp the floors are skipped, so that an empty field
    // stays at level 0 and with it fully transparent.
    levelA_ = alphaRamp_ ? INT32_MIN : mode.floorLevelA;
    fillA_ = mode.floorFillA;
    levelB_ = alphaRamp_ ? INT32_MIN : mode.floorLevelB;
    fillB_ = mode.floorFillB;
    if (noise_ < 1)
        // Without grain a pixel's colour depends on its counter alone.
        for (int32_t c = 0; c <= kCounterLimit; ++c) {
            const int32_t g = c >> 2;  // counters run 0..1024, levels 0..256
            counterColour_[c] = levelColour_[limitLevel(alphaRamp_ ? g : applyFloors(mode, g))];
        }
}

template <int kBytesPerPixel>
void FieldPalette::colour(const int32_t* counters, int first, int count, uint8_t* pixels) const {
    if (noise_ < 1) {
        for (int p = first; p < first + count; ++p) {
            const int32_t c = counters[p - first];
            // Splatting keeps every counter within 0..1024.
            writePixel<kBytesPerPixel>(pixels, p, counterColour_[c < 0 ? 0 : (c > kCounterLimit ? kCounterLimit : c)]);
        }
        return;
    }
    const int32_t n = noise_;
    const int32_t grainBias = n >> 1;  // centres the grain on the noise-free level
    for (int p = first; p < first + count; ++p) {
        int32_t g = (counters[p - first] >> 2) - grainBias + ((static_cast<int32_t>(grain_[p]) * n) >> 8);
        if (g < levelA_) g = fillA_;
        if (g < levelB_) g = fillB_;
        writePixel<kBytesPerPixel>(pixels, p, levelColour_[limitLevel(g)]);
    }
}

void FieldPalette::colourPixels(const int32_t* counters, int first, int count, uint8_t* pixels) const {
    if (bytesPerPixel_ == 4)
        colour<4>(counters, first, count, pixels);
    else
        colour<3>(counters, first, count, pixels);
}

void mapFieldToFrame(const ParticleField& field, const FieldColouring& colouring, uint8_t* pixels, int bytesPerPixel,
                     int pixelCount) {
    const FieldPalette palette(field, colouring, bytesPerPixel);
    const int32_t* counters = field.accumBuffer.data();
    forEachBand(pixelCount, BandSplit{0, 1},
                [&](int begin, int end) { palette.colourPixels(counters + begin, begin, end - begin, pixels); });
}
