// The shared particle field, presets and blob view, tested directly against
// the library: tables, seeding, the motion step, preset selection, and the
// rotation, placement and stamping of blobs.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "blob_view.h"
#include "brushdrift/particle_config.h"
#include "descriptor.h"
#include "globheap/particle_config.h"
#include "globswirl/particle_config.h"
#include "mode_table.h"
#include "particle_field.h"
#include "plugin_host.h"
#include "random_source.h"
#include "stamp_kernel.h"

// The C library's rand(), the sequence the FreeFrame face draws from.
static RandomSource cLibraryRandom;

namespace {

// Sentinel defaults, so that any publication is visible.
constexpr float kUntouched = 0.77f;

struct Fixture {
    ParamDefStruct table[3] = {{kUntouched, "Speed"}, {kUntouched, "Num Particles"}, {0.0f, ""}};
    ParticleConfig config;  // the field keeps a pointer to it
    ParticleField field;
};

// A field of a plug-in's configuration (or a variant of one) whose
// published defaults go to the fixture's table.
std::unique_ptr<Fixture> makeField(const ParticleConfig& config, int w, int h) {
    auto f = std::make_unique<Fixture>();
    f->config = config;
    createParticleField(f->field, f->config, w, h, cLibraryRandom, {f->table, 0, 1});
    return f;
}

int kernelAt(const ParticleField& field, int row, int col) { return field.blobKernel[size_t(row) * 256 + size_t(col)]; }

using vyrtest::skipDraws;

// ---------------------------------------------------------------- creation

TEST(ParticleFieldCreation, SizesAndInitialStatePerDeliverable) {
    auto heap = makeField(kHeapField, 97, 61);
    const ParticleField& f = heap->field;
    EXPECT_EQ(f.blobKernel.size(), 65536u);
    EXPECT_EQ(f.noiseBytes.size(), 97u * 61u + 10000u);
    EXPECT_EQ(f.accumBuffer.size(), 97u * 61u);
    EXPECT_EQ(f.attractors.size(), 16u);
    EXPECT_EQ(f.particlePos.size(), 256u);
    EXPECT_EQ(f.particleVel.size(), 256u);
    EXPECT_EQ(f.particleCount, 256);
    EXPECT_FALSE(f.particlesSeeded);
    EXPECT_EQ(f.activeMode, &f.modeTable[0]);
    for (const Vec3& a : f.attractors) EXPECT_TRUE(a.x == 0.0f && a.y == 0.0f && a.z == 0.0f);
    for (const ParticleRecord& p : f.particlePos) EXPECT_TRUE(p.x == 0.0f && p.y == 0.0f && p.z == 0.0f);
    // Selecting the preset that is already active publishes nothing.
    EXPECT_EQ(heap->table[0].defaultValue, kUntouched);
    EXPECT_EQ(heap->table[1].defaultValue, kUntouched);

    auto brush = makeField(kBrushField, 5, 3);
    EXPECT_TRUE(brush->field.noiseBytes.empty());
    EXPECT_TRUE(brush->field.accumBuffer.empty());  // it paints a canvas of its own
    EXPECT_EQ(brush->field.attractors.size(), 8u);
    EXPECT_EQ(brush->field.particleCount, 1024);
}

TEST(ParticleFieldCreation, OnlyTheNoiseTableDrawsRandomNumbers) {
    std::srand(1);
    auto heap = makeField(kHeapField, 20, 10);
    const int next = std::rand();
    std::srand(1);
    std::vector<uint8_t> expected(200 + 10000);
    for (uint8_t& b : expected) b = uint8_t(std::rand() % 256);
    EXPECT_EQ(heap->field.noiseBytes, expected);
    EXPECT_EQ(std::rand(), next);

    std::srand(1);
    auto brush = makeField(kBrushField, 20, 10);
    const int afterBrush = std::rand();
    std::srand(1);
    EXPECT_EQ(std::rand(), afterBrush);
}

TEST(ParticleFieldCreation, SuccessiveFieldsContinueTheSequence) {
    std::srand(1);
    auto a = makeField(kSwirlField, 16, 16);
    auto b = makeField(kSwirlField, 16, 16);
    EXPECT_NE(a->field.noiseBytes, b->field.noiseBytes);
}

// ------------------------------------------------------------------ tables

TEST(ParticleTables, BlobKernelProfile) {
    auto heap = makeField(kHeapField, 4, 4);
    auto swirl = makeField(kSwirlField, 4, 4);
    const ParticleField& h = heap->field;
    const ParticleField& s = swirl->field;
    EXPECT_EQ(kernelAt(h, 128, 128), 320);
    EXPECT_EQ(kernelAt(s, 128, 128), 255);
    EXPECT_EQ(kernelAt(h, 0, 128), 0);
    EXPECT_EQ(kernelAt(h, 128, 0), 0);
    EXPECT_EQ(kernelAt(h, 128, 192), 160);  // half-way out: cos(pi/2) = 0
    EXPECT_EQ(kernelAt(h, 128, 160), 273);  // trunc(160 + 160 cos(pi/4))
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(kernelAt(h, 0, i), 0);
        EXPECT_EQ(kernelAt(h, i, 0), 0);
    }
    int maxHeap = 0;
    for (int row = 0; row < 256; ++row)
        for (int col = 0; col < 256; ++col) {
            const int dx = col - 128, dy = row - 128;
            const int k = kernelAt(h, row, col);
            if (dx * dx + dy * dy >= 16384) {
                ASSERT_EQ(k, 0) << row << "," << col;
            }
            ASSERT_GE(k, 0);
            ASSERT_EQ(kernelAt(s, row, col), std::min(k, 255)) << row << "," << col;
            if (row > 0 && col > 0) {
                ASSERT_EQ(k, kernelAt(h, 256 - row, 256 - col));
            }
            maxHeap = std::max(maxHeap, k);
        }
    EXPECT_EQ(maxHeap, 320);
    // The clamped profile stays flat out to a radius of about 38.
    EXPECT_EQ(kernelAt(s, 128, 128 + 37), 255);
    EXPECT_LT(kernelAt(s, 128, 128 + 40), 255);
}

TEST(ParticleTables, KernelSpansHoldEveryNonZeroCell) {
    for (const ParticleConfig& config : {kHeapField, kSwirlField}) {
        auto f = makeField(config, 4, 4);
        const ParticleField& field = f->field;
        int empty = 0;
        for (int row = 0; row < 256; ++row) {
            const KernelRowSpan span = field.kernelSpans[row];
            ASSERT_LE(span.first, span.end);
            empty += span.first == span.end;
            for (int col = 0; col < 256; ++col) {
                const bool inside = col >= span.first && col < span.end;
                if (!inside) {
                    ASSERT_EQ(kernelAt(field, row, col), 0) << row << "," << col;
                }
            }
            // Tight: the span starts and ends on non-zero cells.
            if (span.first < span.end) {
                EXPECT_GT(kernelAt(field, row, span.first), 0);
                EXPECT_GT(kernelAt(field, row, span.end - 1), 0);
            }
        }
        // Near the rim the raised cosine truncates to 0: rows 0..4 and
        // 252..255 are empty, and the middle row runs from column 5 to 251.
        EXPECT_EQ(empty, 9);
        EXPECT_EQ(field.kernelSpans[128].first, 5);
        EXPECT_EQ(field.kernelSpans[128].end, 252);
    }
}

TEST(ModeTables, PaletteSpotColoursAndRuns) {
    auto rgb = [](int i) { return std::vector<int>{4 * paletteRed[i], 4 * paletteGreen[i], 4 * paletteBlue[i]}; };
    EXPECT_EQ(rgb(64), (std::vector<int>{44, 12, 0}));
    EXPECT_EQ(rgb(128), (std::vector<int>{200, 84, 4}));
    EXPECT_EQ(rgb(192), (std::vector<int>{248, 188, 20}));
    EXPECT_EQ(rgb(255), (std::vector<int>{248, 240, 44}));
    // Run lengths of a few levels, and every palette rising monotonically.
    std::map<int, int> red, green, blue;
    for (int i = 0; i < 256; ++i) {
        ++red[paletteRed[i]];
        ++green[paletteGreen[i]];
        ++blue[paletteBlue[i]];
        if (i > 0) {
            EXPECT_GE(paletteRed[i], paletteRed[i - 1]);
            EXPECT_GE(paletteGreen[i], paletteGreen[i - 1]);
            EXPECT_GE(paletteBlue[i], paletteBlue[i - 1]);
        }
    }
    EXPECT_EQ(red[0], 28);
    EXPECT_EQ(red[16], 1);
    EXPECT_EQ(red[61], 10);
    EXPECT_EQ(red[62], 81);
    EXPECT_EQ(red.size(), 63u);
    EXPECT_EQ(green[0], 44);
    EXPECT_EQ(green[59], 8);
    EXPECT_EQ(green[60], 6);
    EXPECT_EQ(green.size(), 61u);
    EXPECT_EQ(blue[0], 110);
    EXPECT_EQ(blue[1], 29);
    EXPECT_EQ(blue[11], 5);
    EXPECT_EQ(blue.size(), 12u);
}

TEST(ModeTables, TripleSineCurve) {
    const std::map<int, int> known = {{0, 0},   {1, 1},    {2, 6},    {4, 14},   {8, 28},
                                      {16, 60}, {32, 113}, {64, 196}, {96, 238}, {128, 252}};
    for (const auto& kv : known) EXPECT_EQ(tripleSine(kv.first), kv.second) << kv.first;
    EXPECT_LT(tripleSine(148), 255);
    for (int i = 149; i < 256; ++i) EXPECT_EQ(tripleSine(i), 255) << i;
    for (int i = 1; i < 256; ++i) EXPECT_GE(tripleSine(i), tripleSine(i - 1));
}

TEST(ModeTables, RampsOfEveryPreset) {
    for (const ParticleConfig* config : {&kHeapField, &kSwirlField, &kBrushField}) {
        ModeRecord t[kModeCount];
        buildModeTable(t, config->modes);
        for (int p = 0; p < kModeCount; ++p) {
            EXPECT_EQ(t[p].rampAlpha[0], 0);
            EXPECT_EQ(t[p].rampAlpha[3], 9);
            EXPECT_EQ(t[p].rampAlpha[15], 225);
            for (int i = 16; i < 256; ++i) ASSERT_EQ(t[p].rampAlpha[i], 255);
        }
        int max2 = 0;
        for (int i = 0; i < 256; ++i) {
            const int c = tripleSine(i);
            ASSERT_EQ(t[0].rampRed[i], c);
            ASSERT_EQ(t[0].rampBlue[i], c);
            ASSERT_EQ(t[1].rampGreen[i], 255 - i);
            max2 = std::max(max2, int(t[2].rampRed[i]));
            ASSERT_EQ(t[4].rampRed[i], 4 * paletteRed[c]);
            ASSERT_EQ(t[4].rampGreen[i], 4 * paletteGreen[c]);
            ASSERT_EQ(t[4].rampBlue[i], 4 * paletteBlue[c]);
            ASSERT_EQ(t[5].rampRed[255 - i], 4 * paletteRed[i]);
            ASSERT_EQ(t[5].rampBlue[255 - i], 4 * paletteBlue[i]);
        }
        EXPECT_EQ(max2, 254);
        EXPECT_EQ(t[2].rampRed[128], (252 * 252) >> 8);
        EXPECT_EQ(t[5].rampRed[0], 248);
        EXPECT_EQ(t[5].rampGreen[0], 240);
        EXPECT_EQ(t[5].rampBlue[255], 0);
    }
}

TEST(ModeTables, PresetThreeStaircases) {
    ModeRecord heap[kModeCount], swirl[kModeCount];
    buildModeTable(heap, kHeapField.modes);
    buildModeTable(swirl, kSwirlField.modes);
    EXPECT_EQ(heap[3].rampRed[0], 240);
    EXPECT_EQ(heap[3].rampGreen[15], 240);
    EXPECT_EQ(heap[3].rampBlue[16], 224);
    EXPECT_EQ(heap[3].rampRed[255], 0);
    EXPECT_EQ(swirl[3].rampRed[0], 224);
    EXPECT_EQ(swirl[3].rampRed[127], 0);
    EXPECT_EQ(swirl[3].rampGreen[128], 224);
    EXPECT_EQ(swirl[3].rampBlue[255], 0);
    ModeRecord brush[kModeCount];
    buildModeTable(brush, kBrushField.modes);
    EXPECT_EQ(std::memcmp(brush[3].rampRed, swirl[3].rampRed, 256), 0);
}

// speedGain, speedBias, sizeGain, sizeBias, thresholds, countGain,
// attractorCount, defaultSpeed, defaultNumParticles, as one comparable row.
std::vector<double> scalars(const ModeRecord& m) {
    return {m.speedGain,
            m.speedBias,
            m.sizeGain,
            m.sizeBias,
            double(m.floorLevelA),
            double(m.floorFillA),
            double(m.floorLevelB),
            double(m.floorFillB),
            double(m.countGain),
            double(m.attractorCount),
            m.defaultSpeed,
            m.defaultNumParticles};
}

TEST(ModeTables, PresetScalars) {
    const float a = 0.2f, b = 0.5f;
    const std::vector<std::vector<double>> shared = {{8, 0, 164, 92, 0, 0, 0, 0, 256, 8, b, b},
                                                     {6, 0, 256, 0, 0, 30, 5, 10, 1024, 8, a, a},
                                                     {8, 0, 192, 64, 0, 0, 0, 0, 256, 8, b, b},
                                                     {10, 0, 256, 0, 12, 50, 20, 0, 1024, 8, a, a},
                                                     {6, 0, 164, 92, 0, 0, 0, 0, 256, 8, b, b}};
    const std::vector<std::pair<const ParticleConfig*, std::vector<double>>> first = {
        {&kHeapField, {10, 0, 512, 0, 0, 0, 0, 0, 256, 16, a, a}},
        {&kBrushField, {10, 0, 256, 0, 12, 50, 20, 0, 1024, 8, a, a}},
        {&kSwirlField, {6, 0, 256, 0, 12, 50, 20, 0, 1024, 8, a, a}}};
    for (const auto& f : first) {
        ModeRecord t[kModeCount];
        buildModeTable(t, f.first->modes);
        EXPECT_EQ(scalars(t[0]), f.second);
        for (int p = 1; p < kModeCount; ++p) EXPECT_EQ(scalars(t[p]), shared[size_t(p - 1)]) << "preset " << p;
    }
}

TEST(ModeSelection, ClampsAndPublishesOnlyOnChange) {
    auto f = makeField(kSwirlField, 4, 4);
    ParticleField& field = f->field;
    selectMode(field, 2);
    EXPECT_EQ(field.activeMode, &field.modeTable[2]);
    EXPECT_EQ(f->table[0].defaultValue, 0.2f);
    EXPECT_EQ(f->table[1].defaultValue, 0.2f);
    selectMode(field, 1);
    EXPECT_EQ(f->table[0].defaultValue, 0.5f);
    EXPECT_EQ(f->table[1].defaultValue, 0.5f);
    // Already active: nothing is written.
    f->table[0].defaultValue = kUntouched;
    selectMode(field, 1);
    EXPECT_EQ(f->table[0].defaultValue, kUntouched);
    selectMode(field, 99);
    EXPECT_EQ(field.activeMode, &field.modeTable[5]);
    EXPECT_EQ(f->table[0].defaultValue, 0.5f);
    selectMode(field, -4);
    EXPECT_EQ(field.activeMode, &field.modeTable[0]);
    EXPECT_EQ(f->table[1].defaultValue, 0.2f);
    EXPECT_EQ(f->table[2].defaultValue, 0.0f);  // the terminating row stays untouched

    // Without a table nothing is published, but the preset still changes.
    ParticleField bare;
    createParticleField(bare, kHeapField, 4, 4, cLibraryRandom);
    selectMode(bare, 3);
    EXPECT_EQ(bare.activeMode, &bare.modeTable[3]);
}

// ----------------------------------------------------------------- seeding

TEST(Seeding, RangesAndDrawCounts) {
    struct Case {
        ParticleConfig config;
        long drawsPerParticle;
    };
    for (const Case& c : {Case{kHeapField, 6}, Case{kSwirlField, 6}, Case{kBrushField, 9}}) {
        const int w = 97, h = 61;
        auto f = makeField(c.config, w, h);
        ParticleField& field = f->field;
        const float S = 1.2f * float(std::max(w, h));  // 116.4
        const int Si = int(S), H = int(S / 2.0f);
        std::srand(5);
        seedParticles(field, S, cLibraryRandom);
        const int next = std::rand();
        std::srand(5);
        skipDraws(c.drawsPerParticle * c.config.particleCapacity + 3L * c.config.attractorSlots);
        EXPECT_EQ(std::rand(), next);
        EXPECT_TRUE(field.particlesSeeded);

        float lowV = 1.0f, highV = -1.0f;
        for (int i = 0; i < c.config.particleCapacity; ++i) {
            const ParticleRecord& p = field.particlePos[size_t(i)];
            for (float v : {p.x, p.y, p.z}) {
                ASSERT_GE(v, float(-H));
                ASSERT_LE(v, float(Si - 1 - H));
                ASSERT_EQ(v, std::trunc(v));
            }
            for (int k = 0; k < 3; ++k) {
                if (c.config.colourWords) {
                    ASSERT_GE(p.colour[k], 64);
                    ASSERT_LE(p.colour[k], 255);
                } else {
                    ASSERT_EQ(p.colour[k], 0);
                }
            }
            const Vec3& v = field.particleVel[size_t(i)];
            for (float vc : {v.x, v.y, v.z}) {
                lowV = std::min(lowV, vc);
                highV = std::max(highV, vc);
            }
        }
        EXPECT_GE(lowV, float(-H) / S);
        EXPECT_LT(highV, 0.5f);
        EXPECT_LT(lowV, -0.4f);  // the draws do spread over the range
        EXPECT_GT(highV, 0.4f);
        for (const Vec3& a : field.attractors)
            for (float v : {a.x, a.y, a.z}) {
                ASSERT_GE(v, float(-(Si / 2)));
                ASSERT_LE(v, float(Si - 1 - Si / 2));
            }
    }
}

TEST(Seeding, DrawOrderOfTheFirstParticleAndAttractor) {
    auto f = makeField(kBrushField, 10, 10);
    ParticleField& field = f->field;
    const float S = 12.0f;  // Si 12, H 6
    std::srand(9);
    seedParticles(field, S, cLibraryRandom);
    std::srand(9);
    std::vector<int> r(9);
    for (int& v : r) v = std::rand();
    const ParticleRecord& p = field.particlePos[0];
    EXPECT_EQ(p.x, float(r[0] % 12 - 6));
    EXPECT_EQ(p.y, float(r[1] % 12 - 6));
    EXPECT_EQ(p.z, float(r[2] % 12 - 6));
    EXPECT_EQ(p.colour[0], r[3] % 192 + 64);
    EXPECT_EQ(p.colour[1], r[4] % 192 + 64);
    EXPECT_EQ(p.colour[2], r[5] % 192 + 64);
    EXPECT_EQ(field.particleVel[0].x, float(r[6] % 12 - 6) / S);
    EXPECT_EQ(field.particleVel[0].z, float(r[8] % 12 - 6) / S);
    skipDraws(9L * 1023);
    const int a1 = std::rand(), a2 = std::rand(), a3 = std::rand();
    EXPECT_EQ(field.attractors[0].x, float(a1 % 12 - 6));
    EXPECT_EQ(field.attractors[0].y, float(a2 % 12 - 6));
    EXPECT_EQ(field.attractors[0].z, float(a3 % 12 - 6));
}

TEST(Seeding, TinySceneStillDefined) {
    auto f = makeField(kHeapField, 1, 1);
    seedParticles(f->field, 1.2f, cLibraryRandom);  // Si 1, H 0: everything at the origin
    for (const ParticleRecord& p : f->field.particlePos) ASSERT_TRUE(p.x == 0.0f && p.y == 0.0f && p.z == 0.0f);
    for (const Vec3& v : f->field.particleVel) ASSERT_TRUE(v.x == 0.0f && v.y == 0.0f && v.z == 0.0f);
}

// ------------------------------------------------------------------ motion

// A small field whose attractors all sit on one point.
std::unique_ptr<Fixture> motionField(Vec3 attractorsAt) {
    ParticleConfig config = kHeapField;
    config.particleCapacity = 4;
    config.noiseTable = false;
    auto f = makeField(config, 8, 8);
    for (Vec3& a : f->field.attractors) a = attractorsAt;
    for (Vec3& v : f->field.particleVel) v = Vec3{0.0f, 0.0f, 0.0f};
    f->field.particleCount = 4;
    return f;
}

void place(ParticleField& field, int i, float x, float y, float z) {
    field.particlePos[size_t(i)].x = x;
    field.particlePos[size_t(i)].y = y;
    field.particlePos[size_t(i)].z = z;
}

TEST(Motion, PullTowardTheAttractors) {
    const float K = 1.5f, S = 100.0f;
    auto f = motionField(Vec3{10.0f, 0.0f, 0.0f});
    ParticleField& field = f->field;
    place(field, 0, 0.0f, 0.0f, 0.0f);   // 10 units away on x
    place(field, 1, 10.0f, 0.0f, 0.5f);  // closer than 1: distance floored
    place(field, 2, 10.0f, 0.0f, 0.0f);  // on top: no force
    place(field, 3, 0.0f, 20.0f, 0.0f);  // beyond the active count
    field.particleCount = 3;
    stepParticles(field, K, S, 0.0f);
    const float strength = 15.0f * K * K;  // per attractor, 16 of them
    EXPECT_NEAR(field.particleVel[0].x, 16.0f * strength / 100.0f, 1e-4f);
    EXPECT_EQ(field.particleVel[0].y, 0.0f);
    // 0.5 x 16 x strength is far beyond 4K, so it is also halved once.
    EXPECT_NEAR(field.particleVel[1].z, -0.5f * 16.0f * strength * 0.5f, 1e-3f);
    EXPECT_EQ(field.particleVel[2].x, 0.0f);
    EXPECT_EQ(field.particleVel[2].y, 0.0f);
    EXPECT_EQ(field.particleVel[2].z, 0.0f);
    EXPECT_EQ(field.particleVel[3].y, 0.0f);
    // Speed 0 leaves every position where it was.
    EXPECT_EQ(field.particlePos[0].x, 0.0f);

    // With speed the particle moves by speed x the new velocity.
    const float v0 = field.particleVel[0].x;
    auto g = motionField(Vec3{10.0f, 0.0f, 0.0f});
    place(g->field, 0, 0.0f, 0.0f, 0.0f);
    g->field.particleCount = 1;
    stepParticles(g->field, K, S, 2.0f);
    EXPECT_EQ(g->field.particlePos[0].x, 2.0f * v0);
}

TEST(Motion, HalvingAboveFourK) {
    const float K = 0.75f, S = 200.0f;
    auto f = motionField(Vec3{0.0f, 0.0f, 0.0f});
    ParticleField& field = f->field;
    const float limit = 4.0f * K;
    for (int i = 0; i < 4; ++i) place(field, i, 0.0f, 0.0f, 0.0f);  // on the attractors
    field.particleVel[0] = Vec3{limit, -limit, 0.0f};
    field.particleVel[1] = Vec3{std::nextafter(limit, 10.0f), std::nextafter(-limit, -10.0f), 100.0f};
    stepParticles(field, K, S, 0.0f);
    EXPECT_EQ(field.particleVel[0].x, limit);
    EXPECT_EQ(field.particleVel[0].y, -limit);
    EXPECT_EQ(field.particleVel[1].x, 0.5f * std::nextafter(limit, 10.0f));
    EXPECT_EQ(field.particleVel[1].y, 0.5f * std::nextafter(-limit, -10.0f));
    EXPECT_EQ(field.particleVel[1].z, 50.0f);  // one halving per step, not a clamp
}

TEST(Motion, BounceBeyondTheMargin) {
    const float K = 1.0f, S = 200.0f;
    const float edge = S / 2.0f + 32.0f;  // 132
    auto f = motionField(Vec3{0.0f, 0.0f, 0.0f});
    ParticleField& field = f->field;
    // The attractors sit on each particle, so only the bounce acts.
    for (Vec3& a : field.attractors) a = Vec3{edge, -edge, 0.0f};
    place(field, 0, edge, -edge, 0.0f);
    field.particleVel[0] = Vec3{1.0f, -1.0f, 0.0f};
    stepParticles(field, K, S, 0.0f);
    EXPECT_EQ(field.particleVel[0].x, 1.0f);
    EXPECT_EQ(field.particleVel[0].y, -1.0f);

    const float beyond = std::nextafter(edge, 1000.0f);
    for (Vec3& a : field.attractors) a = Vec3{beyond, -beyond, 0.0f};
    place(field, 0, beyond, -beyond, 0.0f);
    stepParticles(field, K, S, 0.0f);
    EXPECT_EQ(field.particleVel[0].x, -1.0f);
    EXPECT_EQ(field.particleVel[0].y, 1.0f);
    EXPECT_EQ(field.particlePos[0].x, beyond);  // not clamped
}

TEST(Motion, SameResultForAnyThreadCount) {
    std::vector<std::vector<uint8_t>> results;
    const int savedThreads = omp_get_max_threads();
    for (int threads : {1, 2, 3}) {
        omp_set_num_threads(threads);
        std::srand(3);
        auto f = makeField(kSwirlField, 64, 48);
        const float S = 1.2f * 64.0f, K = (64.0f + 48.0f) / 672.0f;
        seedParticles(f->field, S, cLibraryRandom);
        for (int step = 0; step < 30; ++step) stepParticles(f->field, K, S, 0.7f * K);
        std::vector<uint8_t> bytes(f->field.particlePos.size() * sizeof(ParticleRecord) +
                                   f->field.particleVel.size() * sizeof(Vec3));
        std::memcpy(bytes.data(), f->field.particlePos.data(), f->field.particlePos.size() * sizeof(ParticleRecord));
        std::memcpy(bytes.data() + f->field.particlePos.size() * sizeof(ParticleRecord), f->field.particleVel.data(),
                    f->field.particleVel.size() * sizeof(Vec3));
        results.push_back(bytes);
    }
    omp_set_num_threads(savedThreads);
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
}

// --------------------------------------------------------------- blob view

constexpr BlobWeighting kHeapWeighting = {32768.0f, 32768};   // VyrGlobHeap1's: 0.5 .. 1
constexpr BlobWeighting kSwirlWeighting = {40000.0f, 25536};  // VyrGlobSwirl1's: about 0.4 .. 1

// A w x h frame seen straight along z, nothing shifted.
BlobView viewOf(int w, int h, float D, BlobWeighting weighting = kHeapWeighting) {
    BlobView v{};
    v.width = w;
    v.height = h;
    v.sceneSpan = 1.2f * float(std::max(w, h));
    v.blobSize = D;
    v.rotation = viewRotation(0.0f, 0.0f, 0.0f);
    v.weighting = weighting;
    return v;
}

void expectNear(const Vec3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-4f);
    EXPECT_NEAR(v.y, y, 1e-4f);
    EXPECT_NEAR(v.z, z, 1e-4f);
}

TEST(BlobView, QuarterTurnsAboutEachAxis) {
    const float quarter = angleFromParam(0.75f);
    const ViewRotation none = viewRotation(0.0f, 0.0f, 0.0f);
    const Vec3 same = rotateIntoView(none, 3.0f, -4.0f, 5.0f);
    EXPECT_EQ(same.x, 3.0f);
    EXPECT_EQ(same.y, -4.0f);
    EXPECT_EQ(same.z, 5.0f);
    // About X depth turns into height (upward on the frame), about Y width
    // into depth (away from the viewer), about Z width into height (down).
    expectNear(rotateIntoView(viewRotation(quarter, 0.0f, 0.0f), 0.0f, 0.0f, 1.0f), 0.0f, -1.0f, 0.0f);
    expectNear(rotateIntoView(viewRotation(quarter, 0.0f, 0.0f), 0.0f, 1.0f, 0.0f), 0.0f, 0.0f, 1.0f);
    expectNear(rotateIntoView(viewRotation(0.0f, quarter, 0.0f), 1.0f, 0.0f, 0.0f), 0.0f, 0.0f, -1.0f);
    expectNear(rotateIntoView(viewRotation(0.0f, quarter, 0.0f), 0.0f, 0.0f, 1.0f), 1.0f, 0.0f, 0.0f);
    expectNear(rotateIntoView(viewRotation(0.0f, 0.0f, quarter), 1.0f, 0.0f, 0.0f), 0.0f, 1.0f, 0.0f);
    expectNear(rotateIntoView(viewRotation(0.0f, 0.0f, quarter), 0.0f, 1.0f, 0.0f), -1.0f, 0.0f, 0.0f);
}

TEST(BlobView, TurnsAboutXThenYThenZ) {
    const float quarter = angleFromParam(0.75f);
    // X first takes depth to -y, then Z takes -y to +x; the other way
    // round depth would stay put under Z and end at -y.
    expectNear(rotateIntoView(viewRotation(quarter, 0.0f, quarter), 0.0f, 0.0f, 1.0f), 1.0f, 0.0f, 0.0f);
    // X then Y: height goes to depth, then depth to width.
    expectNear(rotateIntoView(viewRotation(quarter, quarter, 0.0f), 0.0f, 1.0f, 0.0f), 1.0f, 0.0f, 0.0f);
    // Turns keep lengths.
    const Vec3 v = rotateIntoView(viewRotation(0.3f, -1.1f, 2.5f), 30.0f, -40.0f, 120.0f);
    EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 130.0f, 1e-3f);
}

TEST(BlobView, DepthCueRunsOverTheCube) {
    const float S = 200.0f;
    EXPECT_EQ(depthCue(100.0f, S), 1.0f);
    EXPECT_EQ(depthCue(5000.0f, S), 1.0f);
    EXPECT_EQ(depthCue(0.0f, S), 0.5f);
    EXPECT_EQ(depthCue(-50.0f, S), 0.25f);
    EXPECT_EQ(depthCue(-98.0f, S), 0.01f);
    EXPECT_EQ(depthCue(-97.0f, S), 0.015f);
    EXPECT_EQ(depthCue(-100.0f, S), 0.01f);
    EXPECT_EQ(depthCue(-1.0e30f, S), 0.01f);
    EXPECT_EQ(depthCue(std::numeric_limits<float>::quiet_NaN(), S), 0.01f);
}

TEST(BlobPlacement, EdgeClipping) {
    const int w = 40, h = 30;
    const BlobView view = viewOf(w, h, 0.0f);  // minimum diameter 10, half 5
    BlobPlacement b{};
    EXPECT_FALSE(placeBlobAt(-5, 15, 1.0f, view, b));  // touches the left edge from outside
    EXPECT_EQ(b.left, b.right);                        // nothing on the frame
    EXPECT_FALSE(placeBlobAt(w + 5, 15, 1.0f, view, b));
    EXPECT_FALSE(placeBlobAt(20, -5, 1.0f, view, b));
    EXPECT_FALSE(placeBlobAt(20, h + 5, 1.0f, view, b));
    ASSERT_TRUE(placeBlobAt(-4, 15, 1.0f, view, b));
    EXPECT_EQ(b.left, 0);
    EXPECT_EQ(b.right, 1);
    EXPECT_EQ(b.cornerX, -9);
    ASSERT_TRUE(placeBlobAt(w + 4, h + 4, 1.0f, view, b));
    EXPECT_EQ(b.left, w - 1);
    EXPECT_EQ(b.right, w);
    EXPECT_EQ(b.top, h - 1);
    EXPECT_EQ(b.bottom, h);

    // The one stamped column is the blob's rightmost one, not its centre.
    auto heap = makeField(kHeapField, w, h);
    const ParticleField& field = heap->field;
    ASSERT_TRUE(placeBlobAt(-4, 15, 1.0f, view, b));
    std::vector<int32_t> row(w, -1);
    stampRows(15, 16, &b, 1, field.blobKernel.data(), field.kernelSpans, row.data(), w);
    BlobPlacement whole{};
    ASSERT_TRUE(placeBlobAt(20, 15, 1.0f, view, whole));
    std::vector<int32_t> full(w, -1);
    stampRows(15, 16, &whole, 1, field.blobKernel.data(), field.kernelSpans, full.data(), w);
    EXPECT_GT(row[0], 0);
    EXPECT_EQ(row[0], full[24]);
    for (int x = 1; x < w; ++x) EXPECT_EQ(row[x], 0);
    // A row outside every blob is cleared.
    stampRows(2, 3, &whole, 1, field.blobKernel.data(), field.kernelSpans, full.data(), w);
    EXPECT_EQ(full, std::vector<int32_t>(w, 0));
    // A blob off the frame on its own rows adds nothing, however far off.
    for (int32_t far : {-1073741824, 1073741824}) {
        BlobPlacement gone{};
        ASSERT_FALSE(placeBlobAt(far, 15, 1.0f, view, gone));
        std::fill(full.begin(), full.end(), -1);
        stampRows(15, 16, &gone, 1, field.blobKernel.data(), field.kernelSpans, full.data(), w);
        EXPECT_EQ(full, std::vector<int32_t>(w, 0));
    }
}

TEST(BlobPlacement, OddDiameterStampsOneLess) {
    const BlobView view = viewOf(100, 100, 11.0f);
    BlobPlacement b{};
    ASSERT_TRUE(placeBlobAt(50, 50, 1.0f, view, b));  // diameter 11, half 5
    EXPECT_EQ(b.size, 11);
    EXPECT_EQ(b.step, 16777216 / 11);
    EXPECT_EQ(b.right - b.left, 10);
    EXPECT_EQ(b.bottom - b.top, 10);
    EXPECT_EQ(b.left, 45);
    EXPECT_EQ(b.top, 45);
    EXPECT_EQ(b.weight, 65536);
    ASSERT_TRUE(placeBlobAt(50, 50, 0.01f, view, b));
    EXPECT_EQ(b.weight, 33095);
    EXPECT_EQ(b.size, 10);  // raised to the minimum of 10
    EXPECT_EQ(b.right - b.left, 10);
}

TEST(BlobPlacement, WeightAndSizeFollowNearness) {
    BlobPlacement b{};
    const BlobView swirl = viewOf(100, 100, 1000.0f, kSwirlWeighting);
    ASSERT_TRUE(placeBlobAt(50, 50, 1.0f, swirl, b));
    EXPECT_EQ(b.weight, 65536);
    EXPECT_EQ(b.size, 1000);
    EXPECT_EQ(b.left, 0);  // clipped on every side
    EXPECT_EQ(b.right, 100);
    EXPECT_EQ(b.cornerY, -450);
    ASSERT_TRUE(placeBlobAt(50, 50, 0.01f, swirl, b));
    EXPECT_EQ(b.weight, 25936);
    EXPECT_EQ(b.size, 71);  // 0.071875 x 1000
    ASSERT_TRUE(placeBlobAt(50, 50, 0.5f, viewOf(100, 100, 1000.0f), b));
    EXPECT_EQ(b.weight, 49152);
    EXPECT_EQ(b.size, 531);
}

TEST(BlobPlacement, ParticlesProjectStraightOntoTheFrame) {
    BlobView view = viewOf(64, 48, 20.0f);
    BlobPlacement b{};
    // One scene unit is one pixel; positions truncate toward zero.
    ASSERT_TRUE(placeBlob(ParticleRecord{-10.7f, 3.9f, 0.0f, {0, 0, 0}}, view, b));
    EXPECT_EQ(b.size, 10);  // trunc(0.5 x 0.9375 x 20 + 1.25) = 10
    EXPECT_EQ(b.cornerX, 32 - 10 - 5);
    EXPECT_EQ(b.cornerY, 24 + 3 - 5);
    // The swarm is shifted before the turn, the picture after it.
    view.translateX = 4.5f;
    view.originY = -7.5f;
    view.rotation = viewRotation(0.0f, 0.0f, angleFromParam(0.75f));
    ASSERT_TRUE(placeBlob(ParticleRecord{0.5f, 0.0f, 0.0f, {0, 0, 0}}, view, b));
    EXPECT_EQ(b.cornerX, 32 - 5);
    EXPECT_EQ(b.cornerY, 21 - 5);  // trunc(float(5 + 24) - 7.5)
}

TEST(BlobPlacement, FarOffParticlesStayOffTheFrame) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float far[] = {3.0e9f, -3.0e9f, 1.0e30f, -1.0e30f, inf, -inf, nan};
    BlobView view = viewOf(64, 48, 40.0f);
    for (const float shift : {0.0f, 1.0e9f}) {
        view.originX = shift;  // nor does a large shift of the picture bring them back
        for (float f : far) {
            BlobPlacement b{};
            EXPECT_FALSE(placeBlob(ParticleRecord{f, 0.0f, 0.0f, {0, 0, 0}}, view, b)) << f;
            EXPECT_FALSE(placeBlob(ParticleRecord{0.0f, f, 0.0f, {0, 0, 0}}, view, b)) << f;
            EXPECT_GE(b.size, 10);
        }
    }
    // Far off in depth only: still on the frame, at the far or near limit.
    view.originX = 0.0f;
    BlobPlacement b{};
    ASSERT_TRUE(placeBlob(ParticleRecord{0.0f, 0.0f, -1.0e30f, {0, 0, 0}}, view, b));
    EXPECT_EQ(b.weight, 33095);
    ASSERT_TRUE(placeBlob(ParticleRecord{0.0f, 0.0f, 1.0e30f, {0, 0, 0}}, view, b));
    EXPECT_EQ(b.weight, 65536);
    // A depth that is not a finite number reaches every coordinate (0 x inf
    // is not a number): off the frame.
    EXPECT_FALSE(placeBlob(ParticleRecord{0.0f, 0.0f, nan, {0, 0, 0}}, view, b));
    EXPECT_FALSE(placeBlob(ParticleRecord{0.0f, 0.0f, inf, {0, 0, 0}}, view, b));
}

TEST(BlobPlacement, ListsTheVisibleBlobsInParticleOrder) {
    const BlobView view = viewOf(64, 48, 0.0f);
    std::vector<ParticleRecord> particles;
    for (float x : {-10.0f, 100.0f, 5.0f, -100.0f, 20.0f})
        particles.push_back(ParticleRecord{x, 0.0f, 0.0f, {0, 0, 0}});
    std::vector<BlobPlacement> out(particles.size());
    ASSERT_EQ(placeBlobs(particles.data(), int(particles.size()), view, out.data()), 3);
    EXPECT_EQ(out[0].cornerX, 32 - 10 - 5);
    EXPECT_EQ(out[1].cornerX, 32 + 5 - 5);
    EXPECT_EQ(out[2].cornerX, 32 + 20 - 5);
    // Only the first count particles are looked at.
    EXPECT_EQ(placeBlobs(particles.data(), 2, view, out.data()), 1);
}

// The plain walk over every pixel of every blob's square, in particle order.
std::vector<int32_t> plainStamp(const std::vector<BlobPlacement>& blobs, const int32_t* kernel, int w, int h) {
    std::vector<int32_t> counters(size_t(w) * h, 0);
    for (const BlobPlacement& b : blobs)
        for (int y = b.top; y < b.bottom; ++y)
            for (int x = b.left; x < b.right; ++x) {
                const int v = (y - b.cornerY) * b.step, u = (x - b.cornerX) * b.step;
                const int k = kernel[(v >> 16) * 256 + (u >> 16)];
                int32_t& c = counters[size_t(y) * w + x];
                if (k > 0) c = std::min(c + ((k * b.weight) >> 16), 1024);
            }
    return counters;
}

TEST(BlobStamp, RowsStampMatchesThePlainWalk) {
    const int w = 150, h = 90;
    auto heap = makeField(kHeapField, w, h);
    const ParticleField& field = heap->field;
    std::srand(3);
    for (int trial = 0; trial < 40; ++trial) {
        // Diameters from the minimum up to well beyond the frame, clipped
        // on every side, few and many.
        const BlobView view = viewOf(w, h, float(std::rand() % 400));
        std::vector<BlobPlacement> blobs;
        const int count = 1 + std::rand() % (trial < 20 ? 4 : 60);
        for (int i = 0; i < count; ++i) {
            BlobPlacement b{};
            const float e = 0.01f + float(std::rand() % 100) / 100.0f;
            if (placeBlobAt(std::rand() % (w + 200) - 100, std::rand() % (h + 200) - 100, e, view, b))
                blobs.push_back(b);
        }
        const std::vector<int32_t> want = plainStamp(blobs, field.blobKernel.data(), w, h);
        // In runs of rows of any length, across the bands stamping works in.
        std::vector<int32_t> got(size_t(w) * h, -1);
        for (int top = 0, end; top < h; top = end) {
            end = std::min(h, top + 1 + std::rand() % 40);
            stampRows(top, end, blobs.data(), int(blobs.size()), field.blobKernel.data(), field.kernelSpans,
                      got.data() + size_t(top) * w, w);
        }
        ASSERT_EQ(got, want) << "trial " << trial;
    }
}

TEST(BlobStamp, ManyFaintOverlapsAddUp) {
    // 1500 blobs over the middle rows, each adding about 1 at its centre:
    // sums that stay below saturation, so no blob can be skipped.
    const int w = 150, h = 90;
    auto heap = makeField(kHeapField, w, h);
    const ParticleField& field = heap->field;
    const BlobView view = viewOf(w, h, 200.0f, BlobWeighting{0.0f, 300});
    std::srand(5);
    std::vector<BlobPlacement> blobs(1500);
    for (BlobPlacement& b : blobs)
        ASSERT_TRUE(placeBlobAt(std::rand() % w, h / 2 + std::rand() % 11 - 5, 1.0f, view, b));
    const std::vector<int32_t> want = plainStamp(blobs, field.blobKernel.data(), w, h);
    EXPECT_GT(*std::max_element(want.begin(), want.end()), 500);
    EXPECT_LT(*std::max_element(want.begin(), want.end()), 1024);
    std::vector<int32_t> got(size_t(w) * h, -1);
    stampRows(0, h, blobs.data(), int(blobs.size()), field.blobKernel.data(), field.kernelSpans, got.data(), w);
    EXPECT_EQ(got, want);
}

TEST(BlobStamp, SwarmIsTheSameForAnyThreadCount) {
    const int w = 160, h = 120;  // enough pixels to share among threads
    std::srand(7);
    ParticleConfig config = kSwirlField;
    config.counters = true;  // the frame's counters kept whole, to compare
    auto swirl = makeField(config, w, h);
    ParticleField& field = swirl->field;
    BlobView view = viewOf(w, h, 40.0f, kSwirlWeighting);
    view.rotation = viewRotation(angleFromParam(0.6f), angleFromParam(0.3f), 0.0f);
    seedParticles(field, view.sceneSpan, cLibraryRandom);
    std::vector<BlobPlacement> blobs(600);
    blobs.resize(size_t(placeBlobs(field.particlePos.data(), 600, view, blobs.data())));
    ASSERT_GT(blobs.size(), 100u);

    std::vector<std::vector<int32_t>> runs;
    const int threadsBefore = omp_get_max_threads();
    for (int threads : {1, 2, 3}) {
        omp_set_num_threads(threads);
        std::fill(field.accumBuffer.begin(), field.accumBuffer.end(), -1);
        stampBlobs(field, blobs.data(), int(blobs.size()), w, h);
        runs.push_back(field.accumBuffer);
    }
    omp_set_num_threads(threadsBefore);
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(runs[0], runs[2]);
    EXPECT_EQ(runs[0], plainStamp(blobs, field.blobKernel.data(), w, h));
    EXPECT_EQ(*std::max_element(runs[0].begin(), runs[0].end()), 1024);  // blobs overlapped to saturation
}

TEST(BlobStamp, EachFinishedRowIsHandedOnOnce) {
    const int w = 160, h = 120;
    auto heap = makeField(kHeapField, w, h);
    ParticleField& field = heap->field;
    const BlobView view = viewOf(w, h, 60.0f);
    std::vector<BlobPlacement> blobs(3);
    ASSERT_TRUE(placeBlobAt(20, 30, 1.0f, view, blobs[0]));
    ASSERT_TRUE(placeBlobAt(150, 100, 0.5f, view, blobs[1]));
    ASSERT_TRUE(placeBlobAt(80, 60, 0.2f, view, blobs[2]));
    std::vector<int> calls(h, 0);
    std::vector<int32_t> handed(size_t(w) * h, -1);
    std::fill(field.accumBuffer.begin(), field.accumBuffer.end(), -1);
    const int threadsBefore = omp_get_max_threads();
    omp_set_num_threads(3);
    stampBlobRows(field, blobs.data(), 3, w, h, [&](int y, const int32_t* counters) {
        ++calls[size_t(y)];  // each row on one thread only
        std::copy(counters, counters + w, handed.begin() + std::ptrdiff_t(y) * w);
    });
    omp_set_num_threads(threadsBefore);
    EXPECT_EQ(calls, std::vector<int>(h, 1));
    // The rows were finished when handed on, and passed through bands of
    // the threads' own: the frame-sized buffer was not touched.
    EXPECT_TRUE(std::all_of(field.accumBuffer.begin(), field.accumBuffer.end(), [](int32_t c) { return c == -1; }));
    EXPECT_EQ(handed, plainStamp(blobs, field.blobKernel.data(), w, h));
}

// Each instruction-set build of the span kernels (32- and 16-bit, with the
// column listing, kernel narrowing and widening) against the portable ones,
// on random rows: blobs from the smallest (gathers) to far wider than the
// kernel (one column per several pixels), spans of every length modulo the
// vector widths, runs ending at the row's last column, counters near and at
// the limit. The row is its own allocation, so a read past column 255 is
// caught by the sanitizer build.
using SpanKernel = int (*)(int32_t*, const int32_t*, int, int32_t, int32_t, int32_t);
using Span16Kernel = int (*)(uint16_t*, const uint16_t*, const uint8_t*, int, int32_t, int32_t);
using ColumnsKernel = void (*)(uint8_t*, int, int, int32_t);
using NarrowKernel = bool (*)(uint16_t*, const int32_t*, int);
using WidenKernel = void (*)(int32_t*, uint16_t*, int);
struct SpanPath {
    const char* name;
    SpanKernel kernel;
    Span16Kernel kernel16;
    ColumnsKernel columns;
    NarrowKernel narrow;
    WidenKernel widen;
    bool available;
};

class StampSpanPath : public testing::TestWithParam<SpanPath> {};

TEST_P(StampSpanPath, MatchesThePortableKernel) {
    const SpanPath path = GetParam();
    if (!path.available) GTEST_SKIP() << "this CPU has no " << path.name << " path";
    std::srand(11);
    std::vector<int32_t> row(256);
    for (int trial = 0; trial < 3000; ++trial) {
        for (int32_t& k : row) k = std::rand() % 4 == 0 ? 0 : std::rand() % 321;
        const int size = 10 + std::rand() % (trial % 3 == 0 ? 150 : 4000);
        const int32_t step = 16777216 / size;
        const int columns = (256 * 65536 - 1) / step + 1;  // pixels whose column is below 256
        const int count = std::rand() % (std::min(columns, 300) + 1);
        // From the blob's first column to the last start that keeps every
        // pixel on the row; every fourth trial ends at that last start.
        const int32_t lastStart = 256 * 65536 - 1 - std::max(count - 1, 0) * step;
        const int32_t u = trial % 4 == 0 ? lastStart : std::rand() % (lastStart + 1);
        const int32_t weight = trial % 5 == 1 ? 65536 : std::rand() % 65537;  // 65536: the nearest blobs
        std::vector<int32_t> counters(size_t(count) + 1);
        for (int32_t& c : counters) c = std::rand() % 3 == 0 ? 1024 - std::rand() % 40 : std::rand() % 1025;
        std::vector<int32_t> want = counters, got = counters;
        const int wantReached = stampBlobSpan_portable(want.data(), row.data(), count, u, step, weight);
        const int gotReached = path.kernel(got.data(), row.data(), count, u, step, weight);
        ASSERT_EQ(got, want) << "trial " << trial << ", size " << size << ", count " << count;
        ASSERT_EQ(gotReached, wantReached) << "trial " << trial;

        // The same span in 16-bit counters, from the kernel row narrowed and
        // the blob's columns listed by this path; the kernel's first row
        // follows, as in the whole kernel.
        std::vector<uint16_t> narrowRow(256 + kNarrowRowPad, 7), wantNarrowRow = narrowRow;
        ASSERT_TRUE(path.narrow(narrowRow.data(), row.data(), 256));
        ASSERT_TRUE(narrowKernel_portable(wantNarrowRow.data(), row.data(), 256));
        ASSERT_EQ(narrowRow, wantNarrowRow);
        const int firstPixel = u / step + (u % step != 0);  // whole pixels from the blob's corner
        const int32_t start = firstPixel * step;
        const int pixels = std::max(0, std::min(count, int((256 * 65536 - 1 - start) / step) + 1));
        std::vector<uint8_t> listed(size_t(pixels) + kColumnPad), wantListed = listed;
        path.columns(listed.data(), firstPixel, pixels, step);
        blobColumns_portable(wantListed.data(), firstPixel, pixels, step);
        ASSERT_EQ(listed, wantListed) << "trial " << trial;
        std::vector<uint16_t> narrow(size_t(pixels) + 1), wantNarrow;
        for (uint16_t& c : narrow) c = uint16_t(std::rand() % 3 == 0 ? 1024 - std::rand() % 40 : std::rand() % 1025);
        wantNarrow = narrow;
        const int wantReached16 =
            stampBlobSpan16_portable(wantNarrow.data(), narrowRow.data(), listed.data(), pixels, step, weight);
        ASSERT_EQ(path.kernel16(narrow.data(), narrowRow.data(), listed.data(), pixels, step, weight), wantReached16);
        ASSERT_EQ(narrow, wantNarrow) << "trial " << trial << ", size " << size << ", pixels " << pixels;
        std::vector<int32_t> wide(narrow.size(), -1);
        path.widen(wide.data(), narrow.data(), pixels);
        for (int i = 0; i < pixels; ++i) ASSERT_EQ(wide[size_t(i)], wantNarrow[size_t(i)]);
        ASSERT_EQ(wide.back(), -1);
        ASSERT_EQ(std::count(narrow.begin(), narrow.end() - 1, 0), pixels);
    }
    // A kernel with a value the 16-bit kernels cannot weigh exactly is refused.
    std::vector<uint16_t> narrowRow(256);
    for (int32_t bad : {-1, kNarrowKernelMax + 1}) {
        std::fill(row.begin(), row.end(), 5);
        row[200] = bad;
        EXPECT_FALSE(path.narrow(narrowRow.data(), row.data(), 256)) << bad;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, StampSpanPath,
                         testing::Values(SpanPath{"avx2", stampBlobSpan_avx2, stampBlobSpan16_avx2, blobColumns_avx2,
                                                  narrowKernel_avx2, widenAndClear_avx2, bestIsa() >= Isa::Avx2},
                                         SpanPath{"avx512", stampBlobSpan_avx512, stampBlobSpan16_avx512,
                                                  blobColumns_avx512, narrowKernel_avx512, widenAndClear_avx512,
                                                  bestIsa() >= Isa::Avx512}),
                         [](const testing::TestParamInfo<SpanPath>& info) { return std::string(info.param.name); });

}  // namespace
