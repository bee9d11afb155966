// The particle field: tables built at instantiation, random seeding, and the
// attractor-driven motion step.
#include "particle_field.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "descriptor.h"
#include "parallel_bands.h"

namespace {

constexpr int kKernelSize = 256;

// A particle's pull from every attractor, in pixel-sized units of work:
// teams start from 512 particles, where they begin to pay.
constexpr int64_t kParticleStepCost = 32;

// A raised cosine of radius 128 around (128, 128): 320 at the centre, 0 at
// the rim and outside. Clamped plug-ins flatten the top at 255.
void buildBlobKernel(std::vector<int32_t>& kernel, bool clampTo255) {
    kernel.assign(size_t(kKernelSize) * kKernelSize, 0);
    int32_t* out = kernel.data();
    forEachBand(kKernelSize, BandSplit{0, kKernelSize}, [=](int rowBegin, int rowEnd) {
        for (int row = rowBegin; row < rowEnd; ++row) {
            const int dy = row - 128;
            for (int col = 0; col < kKernelSize; ++col) {
                const int dx = col - 128;
                const int d2 = dx * dx + dy * dy;
                int value =
                    d2 < 16384 ? static_cast<int>(160.0 + 160.0 * std::cos(std::sqrt(double(d2)) * kPi / 128.0)) : 0;
                if (clampTo255) value = std::min(value, 255);
                out[row * kKernelSize + col] = value;
            }
        }
    });
}

// Grain bytes; the renderers read a window of w*h bytes at a random offset
// below kGrainWindow. Drawn on the calling thread, in index order.
void buildNoise(std::vector<uint8_t>& noise, size_t pixels, RandomSource& random) {
    noise.resize(pixels + kGrainWindow);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random.next() % 256);
}

// One step of one particle. G is negative and the step subtracts the sum,
// so the particle is pulled toward each attractor with strength
// 15 K^2 / distance^2.
inline void pullOne(ParticleRecord& p, Vec3& v, const Vec3* attractors, int n, float G, float K, float S, float speed) {
    float fx = 0.0f, fy = 0.0f, fz = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float dx = attractors[k].x - p.x;
        const float dy = attractors[k].y - p.y;
        const float dz = attractors[k].z - p.z;
        float m = std::sqrt((dx * dx + dy * dy) + dz * dz);
        if (m < 1.0f) m = 1.0f;  // no singularity on top of an attractor
        const float f = G / ((m * m) * m);
        fx += dx * f;
        fy += dy * f;
        fz += dz * f;
    }
    float vc[3] = {v.x - fx, v.y - fy, v.z - fz};
    float* pc[3] = {&p.x, &p.y, &p.z};
    const float limit = 4.0f * K;
    const float low = -32.0f - S / 2.0f;
    const float high = S / 2.0f + 32.0f;
    for (int c = 0; c < 3; ++c) {
        // Damps runaway speeds by half per step rather than clamping them.
        if (vc[c] > limit || vc[c] < -limit) vc[c] *= 0.5f;
        *pc[c] = *pc[c] + speed * vc[c];
        // Past the margin around the cube the particle turns back.
        if (*pc[c] < low || *pc[c] > high) vc[c] = -vc[c];
    }
    v = Vec3{vc[0], vc[1], vc[2]};
}

// A point whose coordinates are (r mod Si) - centre, drawn x, y, z in turn.
Vec3 randomPoint(RandomSource& random, int Si, int centre) {
    const int r1 = random.next();
    const int r2 = random.next();
    const int r3 = random.next();
    return Vec3{static_cast<float>(r1 % Si - centre), static_cast<float>(r2 % Si - centre),
                static_cast<float>(r3 % Si - centre)};
}

}  // namespace

void createParticleField(ParticleField& field, const ParticleConfig& config, int w, int h, RandomSource& random,
                         const ModeDefaultsTarget& defaults) {
    field.config = &config;
    field.defaults = defaults;
    const size_t pixels = size_t(w) * size_t(h);
    buildBlobKernel(field.blobKernel, config.kernelClampedTo255);
    findKernelSpans(field.blobKernel.data(), field.kernelSpans);
    if (config.noiseTable) buildNoise(field.noiseBytes, pixels, random);
    field.particlesSeeded = false;
    if (config.counters) field.accumBuffer.assign(pixels, 0);
    field.attractors.assign(size_t(config.attractorSlots), Vec3{0.0f, 0.0f, 0.0f});
    field.particlePos.assign(size_t(config.particleCapacity), ParticleRecord{0.0f, 0.0f, 0.0f, {0, 0, 0}});
    field.particleCount = config.particleCapacity;
    field.particleVel.assign(size_t(config.particleCapacity), Vec3{0.0f, 0.0f, 0.0f});
    buildModeTable(field.modeTable, config.modes);
    field.activeMode = &field.modeTable[0];
    selectMode(field, 0);
}

void findKernelSpans(const int32_t* kernel, KernelRowSpan* spans) {
    for (int row = 0; row < kKernelSize; ++row) {
        const int32_t* cells = kernel + row * kKernelSize;
        int first = 0;
        while (first < kKernelSize && cells[first] <= 0) ++first;
        int end = kKernelSize;
        while (end > first && cells[end - 1] <= 0) --end;
        spans[row] = KernelRowSpan{first, end};
    }
}

void seedParticles(ParticleField& field, float S, RandomSource& random) {
    const ParticleConfig& config = *field.config;
    const int Si = static_cast<int>(S);
    // The half-size truncated from the float, not Si / 2.
    const int H = static_cast<int>(S / 2.0f);
    const int Ha = Si / 2;
    for (int i = 0; i < config.particleCapacity; ++i) {
        ParticleRecord& p = field.particlePos[size_t(i)];
        const Vec3 at = randomPoint(random, Si, H);
        p.x = at.x;
        p.y = at.y;
        p.z = at.z;
        if (config.colourWords) {
            // Paint levels 64..255, so no particle paints black.
            for (int c = 0; c < 3; ++c) p.colour[c] = random.next() % 192 + 64;
        }
        Vec3& v = field.particleVel[size_t(i)];
        v.x = static_cast<float>(random.next() % Si - H) / S;
        v.y = static_cast<float>(random.next() % Si - H) / S;
        v.z = static_cast<float>(random.next() % Si - H) / S;
    }
    for (int k = 0; k < config.attractorSlots; ++k) field.attractors[size_t(k)] = randomPoint(random, Si, Ha);
    field.particlesSeeded = true;
}

void stepParticles(ParticleField& field, float K, float S, float speed) {
    const int n = std::min(field.activeMode->attractorCount, field.config->attractorSlots);
    const float G = (-150.0f * K) * (0.1f * K);
    const int count = std::min(field.particleCount, field.config->particleCapacity);
    ParticleRecord* pos = field.particlePos.data();
    Vec3* vel = field.particleVel.data();
    const Vec3* attractors = field.attractors.data();
    // A particle's step reads only the attractors and writes only itself.
    forEachBand(count, BandSplit{0, kParticleStepCost}, [=](int begin, int end) {
        for (int i = begin; i < end; ++i) pullOne(pos[i], vel[i], attractors, n, G, K, S, speed);
    });
}

void seedOrStep(ParticleField& field, float K, float S, float speed, RandomSource& random) {
    if (!field.particlesSeeded)
        seedParticles(field, S, random);
    else
        stepParticles(field, K, S, speed);
}

int grainOffset(RandomSource& random) { return random.next() % kGrainWindow; }

void selectMode(ParticleField& field, int wanted) {
    wanted = std::clamp(wanted, 0, kModeCount - 1);
    const ModeRecord* record = &field.modeTable[wanted];
    if (record == field.activeMode) return;
    field.activeMode = record;
    const ModeDefaultsTarget& target = field.defaults;
    if (target.table == nullptr) return;
    // Shared by every instance in the process: whichever selects last wins.
    publishDefaults(target.table, target.speedRow, record->defaultSpeed, target.numParticlesRow,
                    record->defaultNumParticles);
}

void saveParticleMotion(const ParticleField& field, ParticleMotion& motion) {
    motion.particlePos = field.particlePos;
    motion.particleVel = field.particleVel;
    motion.attractors = field.attractors;
    motion.particleCount = field.particleCount;
    motion.particlesSeeded = field.particlesSeeded;
    motion.activeMode = static_cast<int>(field.activeMode - field.modeTable);
}

void restoreParticleMotion(ParticleField& field, const ParticleMotion& motion) {
    // Copies into the field's own buffers, which keep their size.
    std::copy(motion.particlePos.begin(), motion.particlePos.end(), field.particlePos.begin());
    std::copy(motion.particleVel.begin(), motion.particleVel.end(), field.particleVel.begin());
    std::copy(motion.attractors.begin(), motion.attractors.end(), field.attractors.begin());
    field.particleCount = motion.particleCount;
    field.particlesSeeded = motion.particlesSeeded;
    field.activeMode = &field.modeTable[motion.activeMode];
}
