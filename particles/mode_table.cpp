// The six look presets: speed, size and count mappings, attractor counts,
// colour ramps, grey-level thresholds and published defaults.
#include "mode_table.h"

#include <algorithm>
#include <cmath>

#include "scene_view.h"

namespace {

// Presets 1 to 5, the same in every plug-in: speed gain and bias, size gain
// and bias, the two floors, count gain, attractors, published defaults.
const PresetScalars kPresets1To5[kModeCount - 1] = {
    {8.0f, 0.0f, 164.0f, 92.0f, 0, 0, 0, 0, 256, 8, 0.5f, 0.5f},
    {6.0f, 0.0f, 256.0f, 0.0f, 0, 30, 5, 10, 1024, 8, 0.2f, 0.2f},
    {8.0f, 0.0f, 192.0f, 64.0f, 0, 0, 0, 0, 256, 8, 0.5f, 0.5f},
    {10.0f, 0.0f, 256.0f, 0.0f, 12, 50, 20, 0, 1024, 8, 0.2f, 0.2f},
    {6.0f, 0.0f, 164.0f, 92.0f, 0, 0, 0, 0, 256, 8, 0.5f, 0.5f},
};

void setScalars(ModeRecord& m, const PresetScalars& s) {
    m.speedGain = s.speedGain;
    m.speedBias = s.speedBias;
    m.sizeGain = s.sizeGain;
    m.sizeBias = s.sizeBias;
    m.floorLevelA = s.floorLevelA;
    m.floorFillA = s.floorFillA;
    m.floorLevelB = s.floorLevelB;
    m.floorFillB = s.floorFillB;
    m.countGain = s.countGain;
    m.attractorCount = s.attractorCount;
    m.defaultSpeed = s.defaultSpeed;
    m.defaultNumParticles = s.defaultNumParticles;
}

void setGrey(ModeRecord& m, int i, int grey) {
    const auto g = static_cast<uint8_t>(grey);
    m.rampRed[i] = g;
    m.rampGreen[i] = g;
    m.rampBlue[i] = g;
}

// The palette holds 6-bit levels; the ramps want 8-bit ones.
void setPalette(ModeRecord& m, int i, int index) {
    m.rampRed[i] = static_cast<uint8_t>(4 * paletteRed[index]);
    m.rampGreen[i] = static_cast<uint8_t>(4 * paletteGreen[index]);
    m.rampBlue[i] = static_cast<uint8_t>(4 * paletteBlue[index]);
}

void buildRamps(ModeRecord& m, int preset, int staircaseStep) {
    for (int i = 0; i < 256; ++i) {
        // Alpha is opaque from grey 16 on in every preset.
        m.rampAlpha[i] = static_cast<uint8_t>(std::min(i * i, 255));
        switch (preset) {
            case 0:
                setGrey(m, i, tripleSine(i));
                break;
            case 1:
                setGrey(m, i, 255 - i);
                break;
            case 2: {
                const int c = tripleSine(i);
                setGrey(m, i, (c * c) >> 8);
                break;
            }
            case 3:
                // A falling staircase of 16 levels a step; steps of 32 run
                // down twice, wrapping round at the byte.
                setGrey(m, i, (((255 - i) >> 4) * staircaseStep) % 256);
                break;
            case 4:
                setPalette(m, i, tripleSine(i));
                break;
            default:
                // The palette reversed: bright at grey 0, black at 255.
                m.rampRed[255 - i] = static_cast<uint8_t>(4 * paletteRed[i]);
                m.rampGreen[255 - i] = static_cast<uint8_t>(4 * paletteGreen[i]);
                m.rampBlue[255 - i] = static_cast<uint8_t>(4 * paletteBlue[i]);
                break;
        }
    }
}

int sineStep(int x) { return static_cast<int>(256.0 * std::sin(static_cast<double>(x) * kPi / 512.0)); }

}  // namespace

// Black through dark red and orange to light yellow.
// clang-format off
const uint8_t paletteRed[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1,
    1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4,
    5, 5, 5, 6, 6, 6, 7, 7, 8, 8, 8, 9, 9, 10, 10, 11,
    11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 17, 17, 18, 18, 19, 20,
    20, 21, 22, 22, 23, 23, 24, 25, 25, 26, 27, 27, 28, 29, 30, 30,
    31, 32, 32, 33, 34, 34, 35, 36, 36, 37, 38, 38, 39, 40, 40, 41,
    41, 42, 43, 43, 44, 44, 45, 46, 46, 47, 47, 48, 48, 49, 49, 50,
    50, 51, 51, 52, 52, 52, 53, 53, 54, 54, 54, 55, 55, 55, 56, 56,
    56, 57, 57, 57, 57, 58, 58, 58, 58, 59, 59, 59, 59, 59, 60, 60,
    60, 60, 60, 60, 60, 61, 61, 61, 61, 61, 61, 61, 61, 61, 61, 62,
    62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62,
    62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62,
    62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62,
    62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62,
    62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62,
};
const uint8_t paletteGreen[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5,
    5, 6, 6, 6, 6, 7, 7, 7, 7, 8, 8, 8, 8, 9, 9, 9,
    9, 10, 10, 10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14,
    15, 15, 15, 16, 16, 16, 17, 17, 18, 18, 18, 19, 19, 19, 20, 20,
    21, 21, 21, 22, 22, 23, 23, 23, 24, 24, 25, 25, 26, 26, 26, 27,
    27, 28, 28, 29, 29, 29, 30, 30, 31, 31, 32, 32, 32, 33, 33, 34,
    34, 35, 35, 35, 36, 36, 37, 37, 37, 38, 38, 39, 39, 40, 40, 40,
    41, 41, 42, 42, 42, 43, 43, 43, 44, 44, 45, 45, 45, 46, 46, 46,
    47, 47, 47, 48, 48, 48, 49, 49, 49, 50, 50, 50, 50, 51, 51, 51,
    52, 52, 52, 52, 53, 53, 53, 53, 54, 54, 54, 54, 55, 55, 55, 55,
    55, 56, 56, 56, 56, 56, 57, 57, 57, 57, 57, 57, 58, 58, 58, 58,
    58, 58, 59, 59, 59, 59, 59, 59, 59, 59, 60, 60, 60, 60, 60, 60,
};
const uint8_t paletteBlue[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5,
    5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 9, 9, 9, 9, 9, 9,
    9, 9, 9, 10, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11,
};
// clang-format on

int tripleSine(int i) { return std::clamp(sineStep(sineStep(sineStep(i))), 0, 255); }

void buildModeTable(ModeRecord (&table)[kModeCount], const ModeTableData& data) {
    for (int p = 0; p < kModeCount; ++p) {
        ModeRecord& m = table[p];
        buildRamps(m, p, data.staircaseStep);
        setScalars(m, p == 0 ? data.firstPreset : kPresets1To5[p - 1]);
    }
}
