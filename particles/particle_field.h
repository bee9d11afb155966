// The particle field shared by VyrGlobHeap1, VyrGlobSwirl1 and
// VyrBrushDrift1: particles drifting around attractors in a cube of scene
// space, the blob profile they are drawn with, the per-pixel counters, grain
// noise and the look presets. What differs between the plug-ins is data
// (each one's `ParticleConfig`, in its particle_config.h), not code.
#pragma once

#include <cstdint>
#include <vector>

#include "counter_limit.h"
#include "mode_table.h"
#include "random_source.h"
#include "scene_view.h"

// One particle slot: its position and, in plug-ins with coloured particles,
// its paint for pixel byte j (64..255).
struct ParticleRecord {
    float x, y, z;
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
    int particleCapacity;     // particle slots
    int attractorSlots;       // attractor slots
    bool kernelClampedTo255;  // blob profile flattened at 255 (else it peaks at 320)
    bool colourWords;         // seeding draws three colour words per particle
    bool noiseTable;          // w*h + kGrainWindow grain bytes drawn at creation
    bool counters;            // w*h counters that the blobs are stamped into
    ModeTableData modes;
};

struct ParticleField {
    const ParticleConfig* config = nullptr;
    std::vector<int32_t> blobKernel;      // 256 x 256, row = vertical offset
    KernelRowSpan kernelSpans[256] = {};  // of each blobKernel row
    std::vector<uint8_t> noiseBytes;      // w*h + kGrainWindow
    std::vector<int32_t> accumBuffer;     // w*h counters, 0..kCounterLimit
    std::vector<Vec3> attractors;
    std::vector<ParticleRecord> particlePos;
    std::vector<Vec3> particleVel;
    int32_t particleCount = 0;
    bool particlesSeeded = false;
    ModeRecord modeTable[kModeCount];
    const ModeRecord* activeMode = nullptr;
    ModeDefaultsTarget defaults = {nullptr, 0, 0};
};

// Builds everything for a w x h frame (only the grain draws random
// numbers), then the presets, and selects preset 0; later changes of preset
// publish their defaults to `defaults`. Throws std::bad_alloc when memory
// cannot be obtained.
void createParticleField(ParticleField& field, const ParticleConfig& config, int w, int h, RandomSource& random,
                         const ModeDefaultsTarget& defaults = {nullptr, 0, 0});

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

// What the motion of a field carries from step to step, for checkpoints:
// every slot (slots beyond the count come into play when it grows), the
// count, whether the field is seeded and which preset is active.
struct ParticleMotion {
    std::vector<ParticleRecord> particlePos;
    std::vector<Vec3> particleVel;
    std::vector<Vec3> attractors;
    int32_t particleCount = 0;
    bool particlesSeeded = false;
    int activeMode = 0;
};
void saveParticleMotion(const ParticleField& field, ParticleMotion& motion);
// Puts a saved motion back without publishing the preset's defaults: the
// frame that follows selects its preset as usual.
void restoreParticleMotion(ParticleField& field, const ParticleMotion& motion);

// Makes preset `wanted` (clamped to 0..5) active; on a change publishes its
// defaults into the plug-in's static parameter table.
void selectMode(ParticleField& field, int wanted);
