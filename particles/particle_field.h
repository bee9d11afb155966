// The particle field shared by VyrGlobHeap1, VyrGlobSwirl1 and
// VyrBrushDrift1: particles drifting around attractors in a cube of scene
// space, the blob profile they are drawn with, the per-pixel accumulator,
// grain noise, trigonometry tables and the look presets. What differs
// between the deliverables is data (`ParticleConfig`), not code.
#pragma once

#include <cstdint>
#include <vector>

#include "mode_table.h"
#include "random_source.h"
#include "scene_view.h"

// One particle slot. `w` is set by seeding in deliverables with a fourth
// position component; `colour[j]` is the paint for pixel byte j in
// deliverables with coloured particles (64..255).
struct ParticleRecord {
    float x, y, z;
    float w;
    int32_t colour[3];
};

// The columns of one row of the blob profile that can hold non-zero values,
// [first, end); empty (first == end) for a row of zeros. Stamping walks only
// these.
struct KernelRowSpan {
    int first, end;
};

// Grain: noiseBytes holds w*h + kGrainWindow bytes, and each frame reads
// its w*h from an offset below kGrainWindow, so the grain shimmers.
constexpr int kGrainWindow = 10000;

struct ParticleConfig {
    int particleCapacity;      // particle slots: 256 or 1024
    int attractorSlots;        // attractor slots: 16 or 8
    bool kernelClampedTo255;   // blob profile flattened at 255
    bool fourthComponent;      // seeding sets w = 1
    bool colourWords;          // seeding draws three colour words per particle
    bool noiseTable;           // w*h + kGrainWindow grain bytes drawn at creation
    bool trigTables;           // sinCosTable and thirdTable
    ModeFlavour modes;
    ModeDefaultsTarget defaults;
};

struct ParticleField {
    const ParticleConfig* config = nullptr;
    std::vector<int32_t> blobKernel;   // 256 x 256, row = vertical offset
    KernelRowSpan kernelSpans[256] = {};  // of each blobKernel row
    std::vector<uint8_t> noiseBytes;   // w*h + kGrainWindow
    std::vector<int32_t> accumBuffer;  // w*h cells of 4 bytes
    std::vector<Vec3> attractors;
    std::vector<ParticleRecord> particlePos;
    std::vector<Vec3> particleVel;
    int32_t particleCount = 0;
    bool particlesSeeded = false;
    std::vector<int32_t> sinCosTable;  // 65536 pairs (sine, cosine), 16.16
    std::vector<int32_t> thirdTable;   // 768 entries, i / 3
    ModeRecord modeTable[kModeCount];
    const ModeRecord* activeMode = nullptr;
};

// Builds everything for a w x h frame in the deliverable's order of creation
// (which fixes how the random sequence is consumed), then the
// presets, and selects preset 0. Throws std::bad_alloc when memory cannot be
// obtained.
void createParticleField(ParticleField& field, const ParticleConfig& config, int w, int h, RandomSource& random);

// Finds the spans of all 256 rows of a 256 x 256 blob profile. Creation
// does this for the field's own profile.
void findKernelSpans(const int32_t* kernel, KernelRowSpan* spans);

// Places every particle slot and attractor slot at random in the cube of
// edge S and marks the field seeded.
void seedParticles(ParticleField& field, float S, RandomSource& random);

// Moves particles 0..particleCount-1 one step under the attractors' pull.
void stepParticles(ParticleField& field, float K, float S, float speed);

// The motion of one frame: an unseeded field is seeded and shown where it
// was placed, unmoved; a seeded one moves a step.
void seedOrStep(ParticleField& field, float K, float S, float speed, RandomSource& random);

// Where this frame's grain starts in noiseBytes, below kGrainWindow. Drawn
// every frame, grain or not, so that the random sequence does not depend on it.
int grainOffset(RandomSource& random);

// Makes preset `wanted` (clamped to 0..5) active; on a change publishes its
// defaults into the deliverable's static parameter table.
void selectMode(ParticleField& field, int wanted);
