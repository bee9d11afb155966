// The six look presets shared by the particle deliverables.
#pragma once

#include <algorithm>
#include <cstdint>

struct ParamDefStruct;

struct ModeRecord {
    float speedGain;
    float speedBias;
    float sizeGain;
    float sizeBias;
    int32_t floorLevelA;
    int32_t floorFillA;
    int32_t floorLevelB;
    int32_t floorFillB;
    uint8_t rampRed[256];
    uint8_t rampGreen[256];
    uint8_t rampBlue[256];
    uint8_t rampAlpha[256];
    int32_t countGain;
    int32_t attractorCount;
    float defaultSpeed;
    float defaultNumParticles;

    // Blob (or brush dot) diameter in pixels at full nearness for "Dot
    // Scale" v at frame scale K.
    float blobSize(float v, float K) const { return (sizeGain * v + sizeBias) * K; }
    // Step length of the motion for "Speed" v at frame scale K.
    float speed(float v, float K) const { return (speedGain * v + speedBias) * K; }
    // Particles for "Num Particles" v: `share` of countGain (1 - "Dot Scale"
    // in VyrGlobSwirl1, whole elsewhere) times v, plus 10, within 1..capacity.
    int particleCount(float v, int capacity, float share = 1.0f) const {
        return std::clamp(static_cast<int>(share * static_cast<float>(countGain) * v + 10.0f), 1, capacity);
    }
};

constexpr int kModeCount = 6;

// Which deliverable's presets 0 and 3 to build: the three differ there.
enum class ModeFlavour { GlobHeap, GlobSwirl, BrushDrift };

// The built-in palette, 6-bit values (0..63).
extern const uint8_t paletteRed[256];
extern const uint8_t paletteGreen[256];
extern const uint8_t paletteBlue[256];

// c(i) = clamp(f(f(f(i))), 0, 255) with f(x) = trunc(256 sin(x pi / 512)).
int tripleSine(int i);

// Fills all six records for the given deliverable.
void buildModeTable(ModeRecord (&table)[kModeCount], ModeFlavour flavour);

// Where a preset publishes its defaults: the deliverable's static parameter
// table and the rows of its "Speed" and "Num Particles" parameters.
struct ModeDefaultsTarget {
    ParamDefStruct* table;
    int speedRow;
    int numParticlesRow;
};
