// The six look presets shared by the particle plug-ins.
#pragma once

#include <algorithm>
#include <cstdint>

struct ParamDefStruct;

// One look: how the parameters map to motion, size and count, and how a grey
// level of the density field becomes a colour. The frame scale K is the
// renderer's (VyrGlobHeap1 and VyrGlobSwirl1: (w + h) / 672, VyrBrushDrift1:
// w / 384).
struct ModeRecord {
    float speedGain;  // step length = (speedGain x "Speed" + speedBias) x K
    float speedBias;
    float sizeGain;  // blob diameter in pixels = (sizeGain x "Dot Scale" + sizeBias) x K
    float sizeBias;
    int32_t floorLevelA;  // a grey level below floorLevelA becomes floorFillA ...
    int32_t floorFillA;
    int32_t floorLevelB;  // ... and then one below floorLevelB becomes floorFillB
    int32_t floorFillB;
    uint8_t rampRed[256];  // red, green, blue and alpha of each grey level 0..255
    uint8_t rampGreen[256];
    uint8_t rampBlue[256];
    uint8_t rampAlpha[256];
    int32_t countGain;          // particles = countGain x "Num Particles" + 10, limited by the renderer
    int32_t attractorCount;     // attractors that pull in the motion step
    float defaultSpeed;         // published as the default of "Speed" while the look is active
    float defaultNumParticles;  // published as the default of "Num Particles" likewise

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

// The fields of a ModeRecord other than its ramps, for one preset.
struct PresetScalars {
    float speedGain, speedBias, sizeGain, sizeBias;
    int32_t floorLevelA, floorFillA, floorLevelB, floorFillB;
    int32_t countGain, attractorCount;
    float defaultSpeed, defaultNumParticles;
};

// What a plug-in's presets differ in from the other plug-ins': the scalars
// of preset 0, and the step of preset 3's falling grey staircase, 16 (sixteen
// steps of 16 levels) or 32 (two runs of eight steps of 32 levels, wrapping
// at the byte).
struct ModeTableData {
    PresetScalars firstPreset;
    int staircaseStep;
};

// The built-in palette, 6-bit values (0..63).
extern const uint8_t paletteRed[256];
extern const uint8_t paletteGreen[256];
extern const uint8_t paletteBlue[256];

// c(i) = clamp(f(f(f(i))), 0, 255) with f(x) = trunc(256 sin(x pi / 512)).
int tripleSine(int i);

// Fills all six records.
void buildModeTable(ModeRecord (&table)[kModeCount], const ModeTableData& data);

// Where a preset publishes its defaults: the plug-in's static parameter
// table and the rows of its "Speed" and "Num Particles" parameters; no
// table, no publishing.
struct ModeDefaultsTarget {
    ParamDefStruct* table;
    int speedRow;
    int numParticlesRow;
};
