// VyrGlobSwirl1: the per-frame values, its view of the swarm and the blobs
// stamped through it, field colouring (tested directly on small fields), and
// the plug-in as a host drives it: presets, published defaults, alpha, the
// draw switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "colour_kernels.h"
#include "field_colour.h"
#include "particle_field.h"
#include "plugin_host.h"
#include "random_source.h"
#include "swirl_frame.h"

// The C library's rand(), the sequence the FreeFrame face draws from.
static RandomSource cLibraryRandom;

namespace {

// The parameter table's defaults, in row order.
constexpr float kDefaults[kNumParams] = {0.5f, 0.32f, 0.3f, 0.0f, 0.5f, 0.5f, 0.5f, 0.2f,
                                         0.5f, 0.5f,  0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f};

struct Params {
    float v[kNumParams];
    Params() { std::copy(std::begin(kDefaults), std::end(kDefaults), v); }
    Params& set(SwirlParam p, float value) {
        v[p] = value;
        return *this;
    }
};

struct Rgba {
    int r, g, b, a;
};

Rgba pixelAt(const std::vector<uint8_t>& pixels, int bytesPerPixel, int index) {
    const uint8_t* p = &pixels[size_t(index) * bytesPerPixel];
    return {p[2], p[1], p[0], bytesPerPixel == 4 ? p[3] : -1};
}

void expectColour(const Rgba& px, int r, int g, int b, int a) {
    EXPECT_EQ(px.r, r);
    EXPECT_EQ(px.g, g);
    EXPECT_EQ(px.b, b);
    EXPECT_EQ(px.a, a);
}

// ---------------------------------------------------------------------------
// Per-frame values

class SwirlValues : public ::testing::Test {
   protected:
    void SetUp() override { buildModeTable(modes, kSwirlField.modes); }
    SwirlFrame values(const Params& p, int preset = 0, int w = 640, int h = 480) {
        return swirlFrameValues(p.v, w, h, modes[preset]);
    }
    ModeRecord modes[kModeCount];
};

TEST_F(SwirlValues, ModeValuesPickPresetsInFifths) {
    EXPECT_EQ(presetIndex(0.0f), 0);
    EXPECT_EQ(presetIndex(0.19f), 0);
    EXPECT_EQ(presetIndex(0.2f), 1);
    EXPECT_EQ(presetIndex(0.79f), 3);
    EXPECT_EQ(presetIndex(0.8f), 4);
    EXPECT_EQ(presetIndex(0.99f), 4);
    EXPECT_EQ(presetIndex(1.0f), 5);
}

TEST_F(SwirlValues, SceneSizeAndScaleFollowTheFrame) {
    const SwirlFrame f = values(Params());
    EXPECT_EQ(f.sceneSpan, 768.0f);
    EXPECT_EQ(int(f.sceneSpan), 768);
    EXPECT_FLOAT_EQ(f.frameScale, 1120.0f / 672.0f);
    // The larger side sets the span, whichever it is.
    EXPECT_FLOAT_EQ(values(Params(), 0, 100, 400).sceneSpan, 480.0f);
}

TEST_F(SwirlValues, ParticleCountFallsAsDotsGrow) {
    for (int preset = 0; preset < kModeCount; ++preset) {
        SCOPED_TRACE(preset);
        EXPECT_EQ(values(Params().set(kDotScale, 1.0f).set(kNumParticles, 1.0f), preset).particleCount, 10);
        EXPECT_EQ(values(Params().set(kDotScale, 0.0f).set(kNumParticles, 0.0f), preset).particleCount, 10);
        const int full = values(Params().set(kDotScale, 0.0f).set(kNumParticles, 1.0f), preset).particleCount;
        EXPECT_EQ(full, modes[preset].countGain == 1024 ? 1024 : 266);  // 1034 is limited to the slots
    }
    // Defaults with preset 0: 0.68 x 1024 x 0.2 + 10.
    EXPECT_EQ(values(Params()).particleCount, 149);
    EXPECT_EQ(values(Params().set(kDotScale, 0.5f).set(kNumParticles, 0.5f), 1).particleCount, 74);
}

TEST_F(SwirlValues, SizeAndSpeedScaleWithTheFrame) {
    const float K = 1120.0f / 672.0f;
    EXPECT_FLOAT_EQ(values(Params().set(kDotScale, 0.0f), 1).blobSize, 92.0f * K);
    EXPECT_FLOAT_EQ(values(Params().set(kDotScale, 1.0f), 0).blobSize, 256.0f * K);
    EXPECT_EQ(values(Params().set(kDotScale, 0.0f), 0).blobSize, 0.0f);
    EXPECT_FLOAT_EQ(values(Params().set(kSpeed, 1.0f), 4).speed, 10.0f * K);
    EXPECT_EQ(values(Params().set(kSpeed, 0.0f), 2).speed, 0.0f);
}

TEST_F(SwirlValues, ShiftsAndAngles) {
    const SwirlFrame neutral = values(Params());
    EXPECT_EQ(neutral.shifts.originX, 0.0f);
    EXPECT_EQ(neutral.shifts.translateZ, 0.0f);
    EXPECT_EQ(neutral.angleX, 0.0f);
    EXPECT_EQ(neutral.angleY, 0.0f);
    EXPECT_EQ(neutral.angleZ, 0.0f);

    const SwirlFrame moved = values(Params()
                                        .set(kOriginX, 1.0f)
                                        .set(kOriginY, 0.75f)
                                        .set(kTranslateX, 1.0f)
                                        .set(kTranslateY, 0.0f)
                                        .set(kAngleX, 0.75f)
                                        .set(kAngleZ, 0.0f));
    EXPECT_EQ(moved.shifts.originX, 768.0f);
    EXPECT_EQ(moved.shifts.originY, 384.0f);
    EXPECT_FLOAT_EQ(moved.shifts.translateX, 7.68f);
    EXPECT_FLOAT_EQ(moved.shifts.translateY, -7.68f);
    EXPECT_FLOAT_EQ(moved.angleX, 1.5707964f);
    EXPECT_FLOAT_EQ(moved.angleZ, -3.1415927f);
}

TEST_F(SwirlValues, SwitchesAndGrain) {
    EXPECT_FALSE(values(Params().set(kDrawSwitch, 0.0f)).drawOn);
    EXPECT_TRUE(values(Params().set(kDrawSwitch, 1e-6f)).drawOn);
    EXPECT_FALSE(values(Params().set(kAlphaSwitch, 0.5f)).alphaOn);
    EXPECT_TRUE(values(Params().set(kAlphaSwitch, 0.5001f)).alphaOn);
    EXPECT_EQ(values(Params().set(kNoiseLevel, 0.0078f)).noiseAmount, 0);
    EXPECT_EQ(values(Params().set(kNoiseLevel, 1.0f / 128.0f)).noiseAmount, 1);
    EXPECT_EQ(values(Params().set(kNoiseLevel, 1.0f)).noiseAmount, 128);
}

// ---------------------------------------------------------------------------
// Blob placement: a 640 x 480 frame, one particle at a time.

// Where one particle's blob lands, and whether any of it is on the frame.
struct Placed {
    bool visible;
    int centreX, centreY;  // pixel the middle of the kernel falls on
    int size, half, step, weight;
};

class SwirlPlacement : public ::testing::Test {
   protected:
    void SetUp() override { buildModeTable(modes, kSwirlField.modes); }
    Placed place(float x, float y, float z, const Params& p = Params(), float blobSize = 100.0f) {
        SwirlFrame f = swirlFrameValues(p.v, 640, 480, modes[0]);
        f.blobSize = blobSize;
        const ParticleRecord particle{x, y, z, {0, 0, 0}};
        BlobPlacement b{};
        const bool visible = placeBlob(particle, swirlBlobView(f, 640, 480), b);
        const int half = b.size >> 1;
        return {visible, b.cornerX + half, b.cornerY + half, b.size, half, b.step, b.weight};
    }
    ModeRecord modes[kModeCount];
};

TEST_F(SwirlPlacement, NeutralViewPutsTheOriginAtTheCentre) {
    const Placed b = place(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(b.centreX, 320);
    EXPECT_EQ(b.centreY, 240);
    EXPECT_EQ(b.weight, 45536);  // halfway deep
    EXPECT_EQ(b.size, 53);       // 0.53125 x 100
    EXPECT_EQ(b.half, 26);
    EXPECT_EQ(b.step, 16777216 / 53);
    EXPECT_TRUE(b.visible);
    // Scene x and y map straight to columns and rows, truncated toward zero.
    const Placed c = place(-10.7f, 33.9f, 0.0f);
    EXPECT_EQ(c.centreX, 310);
    EXPECT_EQ(c.centreY, 273);
}

TEST_F(SwirlPlacement, DepthSetsSizeAndWeight) {
    const Placed back = place(0.0f, 0.0f, -400.0f, Params(), 1000.0f);
    EXPECT_EQ(back.weight, 25936);
    EXPECT_EQ(back.size, 71);  // 0.071875 x 1000
    const Placed front = place(0.0f, 0.0f, 400.0f, Params(), 1000.0f);
    EXPECT_EQ(front.weight, 65536);
    EXPECT_EQ(front.size, 1000);
    EXPECT_EQ(place(0.0f, 0.0f, 0.0f, Params(), 0.0f).size, 10);  // never below ten pixels
    EXPECT_EQ(place(0.0f, 0.0f, -400.0f, Params(), 100.0f).size, 10);
}

TEST_F(SwirlPlacement, AngleXTurnsDepthIntoHeight) {
    const Placed b = place(0.0f, 0.0f, 100.0f, Params().set(kAngleX, 0.75f));
    EXPECT_EQ(b.centreX, 320);
    EXPECT_EQ(b.centreY, 140);
    EXPECT_EQ(b.weight, 45536);  // its depth is now zero
}

TEST_F(SwirlPlacement, AngleYTurnsWidthIntoDepth) {
    const Placed b = place(200.0f, 0.0f, 0.0f, Params().set(kAngleY, 0.75f));
    EXPECT_EQ(b.centreX, 320);
    EXPECT_EQ(b.centreY, 240);
    EXPECT_EQ(b.weight, int(40000.0f * ((-200.0f + 384.0f) / 768.0f)) + 25536);
}

TEST_F(SwirlPlacement, AngleZTurnsWidthIntoHeight) {
    const Placed b = place(100.0f, 0.0f, 0.0f, Params().set(kAngleZ, 0.75f));
    EXPECT_EQ(b.centreX, 320);
    EXPECT_EQ(b.centreY, 340);
}

TEST_F(SwirlPlacement, OriginShiftsThePicture) {
    EXPECT_EQ(place(0.0f, 0.0f, 0.0f, Params().set(kOriginX, 0.75f)).centreX, 320 + 384);
    const Placed gone = place(0.0f, 0.0f, 0.0f, Params().set(kOriginX, 1.0f));
    EXPECT_EQ(gone.centreX, 320 + 768);
    EXPECT_FALSE(gone.visible);
    EXPECT_EQ(place(0.0f, 0.0f, 0.0f, Params().set(kOriginY, 0.25f)).centreY, 240 - 384);
    // "Origin Z" has no effect.
    const Placed z = place(10.0f, 20.0f, 30.0f, Params().set(kOriginZ, 0.9f));
    const Placed n = place(10.0f, 20.0f, 30.0f);
    EXPECT_EQ(z.centreX, n.centreX);
    EXPECT_EQ(z.centreY, n.centreY);
    EXPECT_EQ(z.size, n.size);
}

TEST_F(SwirlPlacement, TranslateShiftsTheSwarmBeforeRotation) {
    EXPECT_EQ(place(0.5f, 0.0f, 0.0f, Params().set(kTranslateX, 1.0f)).centreX, 328);  // 0.5 + 7.68
    // Turned a quarter about Z, the swarm's x axis points down the frame.
    const Placed b = place(0.5f, 0.0f, 0.0f, Params().set(kTranslateX, 1.0f).set(kAngleZ, 0.75f));
    EXPECT_EQ(b.centreX, 320);
    EXPECT_EQ(b.centreY, 248);
    // Shifted toward the viewer, it grows heavier.
    EXPECT_GT(place(0.0f, 0.0f, 0.0f, Params().set(kTranslateZ, 1.0f)).weight, 45536);
}

TEST_F(SwirlPlacement, BlobsWhollyOffTheFrameAreSkipped) {
    // Ten pixels wide: half = 5.
    EXPECT_FALSE(place(-325.0f, 0.0f, 0.0f, Params(), 0.0f).visible);  // centre column -5
    EXPECT_TRUE(place(-324.0f, 0.0f, 0.0f, Params(), 0.0f).visible);
    EXPECT_TRUE(place(324.0f, 0.0f, 0.0f, Params(), 0.0f).visible);  // centre column 644
    EXPECT_FALSE(place(325.0f, 0.0f, 0.0f, Params(), 0.0f).visible);
    EXPECT_FALSE(place(0.0f, -245.0f, 0.0f, Params(), 0.0f).visible);
    EXPECT_TRUE(place(0.0f, 244.0f, 0.0f, Params(), 0.0f).visible);
    EXPECT_FALSE(place(0.0f, 245.0f, 0.0f, Params(), 0.0f).visible);
    // Far beyond any frame the arithmetic still holds.
    EXPECT_FALSE(place(3.0e9f, -3.0e9f, 0.0f).visible);
}

// ---------------------------------------------------------------------------
// Splatting and colouring on a small field.

class SwirlField : public ::testing::Test {
   protected:
    static constexpr int kW = 96;
    static constexpr int kH = 70;

    void SetUp() override {
        // The plug-in keeps no frame of counters; here they are kept whole
        // to look at and to colour directly.
        config.counters = true;
        createParticleField(field, config, kW, kH, cLibraryRandom);
        blobs.resize(kSwirlParticles);
        frame = swirlFrameValues(Params().v, kW, kH, field.modeTable[0]);
    }

    // Particle i at scene (x, y, z); the neutral view puts scene (0, 0) on
    // pixel (48, 35).
    void putParticle(int i, float x, float y, float z) { field.particlePos[i] = {x, y, z, {0, 0, 0}}; }

    // Places and stamps particles 0..count-1 as a frame does; the field is
    // rebuilt from zero.
    void splat(int count) {
        frame.particleCount = count;
        blobCount = placeBlobs(field.particlePos.data(), count, swirlBlobView(frame, kW, kH), blobs.data());
        stampBlobs(field, blobs.data(), blobCount, kW, kH);
    }

    int32_t counter(int x, int y) const { return field.accumBuffer[size_t(y) * kW + x]; }

    std::vector<uint8_t> colour(int preset, FieldColouring c, int bytesPerPixel) {
        field.activeMode = &field.modeTable[preset];
        std::vector<uint8_t> pixels(size_t(kW) * kH * bytesPerPixel, 0xEE);
        mapFieldToFrame(field, c, pixels.data(), bytesPerPixel, kW * kH);
        return pixels;
    }

    // Sets the first counters to the given values, the rest to 0.
    void setCounters(const std::vector<int32_t>& values) {
        std::fill(field.accumBuffer.begin(), field.accumBuffer.end(), 0);
        std::copy(values.begin(), values.end(), field.accumBuffer.begin());
    }

    ParticleConfig config = kSwirlField;
    ParticleField field;
    std::vector<BlobPlacement> blobs;
    int blobCount = 0;
    SwirlFrame frame;
};

TEST_F(SwirlField, FrontBlobPeaksAt255InsideItsSquare) {
    frame.blobSize = 20.0f;
    putParticle(0, 0.0f, 0.0f, 100.0f);  // nearer than the cube's front: full weight
    splat(1);
    ASSERT_EQ(blobCount, 1);
    const BlobPlacement& b = blobs[0];
    ASSERT_EQ(b.weight, 65536);
    ASSERT_EQ(b.size, 20);
    EXPECT_EQ(counter(48, 35), 255);
    int inside = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool inSquare = x >= 38 && x < 58 && y >= 25 && y < 45;
            if (!inSquare) {
                EXPECT_EQ(counter(x, y), 0) << x << "," << y;
            }
            if (counter(x, y) > 0) ++inside;
        }
    // A round blob: most of the square, not its corners.
    EXPECT_GT(inside, 250);
    EXPECT_LT(inside, 400);
    EXPECT_EQ(counter(38, 25), 0);
    EXPECT_GT(counter(40, 35), 0);
    EXPECT_LT(counter(40, 35), 255);
}

TEST_F(SwirlField, OverlappingBlobsSaturateAt1024) {
    frame.blobSize = 20.0f;
    for (int i = 0; i < 5; ++i) putParticle(i, 0.0f, 0.0f, 100.0f);
    splat(4);
    EXPECT_EQ(counter(48, 35), 1020);
    splat(5);
    EXPECT_EQ(counter(48, 35), 1024);
    // Only particles 0..N-1 are drawn.
    putParticle(5, 30.0f, 20.0f, 100.0f);
    splat(5);
    EXPECT_EQ(counter(78, 55), 0);
}

TEST_F(SwirlField, BlobsClipAtTheFrameEdges) {
    frame.blobSize = 24.0f;
    putParticle(0, -8.0f, 0.0f, 100.0f);  // centred on column 40
    splat(1);
    const std::vector<int32_t> whole = field.accumBuffer;
    putParticle(0, -48.0f, 0.0f, 100.0f);  // centred on column 0: left half clipped
    splat(1);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int32_t expected = x < 12 ? whole[size_t(y) * kW + x + 40] : 0;
            ASSERT_EQ(counter(x, y), expected) << x << "," << y;
        }
    putParticle(0, -60.0f, 0.0f, 100.0f);  // centred on column -12 = -half: skipped
    splat(1);
    EXPECT_TRUE(std::all_of(field.accumBuffer.begin(), field.accumBuffer.end(), [](int32_t c) { return c == 0; }));
    // The same at the bottom edge.
    putParticle(0, 0.0f, 34.0f, 100.0f);  // centred on row 69
    splat(1);
    EXPECT_GT(counter(48, 69), 0);
    EXPECT_GT(counter(48, 58), 0);
    EXPECT_EQ(counter(48, 57), 0);  // the stamp's first row reads the kernel's empty rim
}

TEST_F(SwirlField, EmptyFieldTakesThePresetsLevelZeroColour) {
    setCounters({});
    const FieldColouring plain{0, 0, false};
    const int expected[kModeCount][3] = {{167, 167, 167}, {255, 255, 255}, {5, 5, 5},
                                         {224, 224, 224}, {244, 148, 12},  {248, 240, 44}};
    for (int preset = 0; preset < kModeCount; ++preset) {
        SCOPED_TRACE(preset);
        for (int bpp : {3, 4}) {
            const std::vector<uint8_t> px = colour(preset, plain, bpp);
            for (int i = 0; i < kW * kH; i += 97)
                expectColour(pixelAt(px, bpp, i), expected[preset][0], expected[preset][1], expected[preset][2],
                             bpp == 4 ? 255 : -1);
        }
    }
}

TEST_F(SwirlField, PresetZeroDrawsABlackRingAtBlobEdges) {
    setCounters({0, 47, 48, 79, 80, 1024});
    const std::vector<uint8_t> px = colour(0, {0, 0, false}, 4);
    expectColour(pixelAt(px, 4, 0), 167, 167, 167, 255);
    expectColour(pixelAt(px, 4, 1), 167, 167, 167, 255);
    expectColour(pixelAt(px, 4, 2), 0, 0, 0, 255);
    expectColour(pixelAt(px, 4, 3), 0, 0, 0, 255);
    expectColour(pixelAt(px, 4, 4), 74, 74, 74, 255);
    expectColour(pixelAt(px, 4, 5), 255, 255, 255, 255);
}

TEST_F(SwirlField, CountersBecomeLevelsZeroTo255) {
    // Preset 1 paints 255 - level, so the level can be read back.
    setCounters({1019, 1020, 1024, 3, 4});
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha);
        const std::vector<uint8_t> px = colour(1, {0, 0, alpha}, 4);
        expectColour(pixelAt(px, 4, 0), 1, 1, 1, 255);
        expectColour(pixelAt(px, 4, 1), 0, 0, 0, 255);
        expectColour(pixelAt(px, 4, 2), 0, 0, 0, 255);
        expectColour(pixelAt(px, 4, 3), 255, 255, 255, alpha ? 0 : 255);
        expectColour(pixelAt(px, 4, 4), 254, 254, 254, alpha ? 1 : 255);
    }
}

TEST_F(SwirlField, AlphaRampMakesTheEmptyFieldTransparentAndSkipsTheFloors) {
    setCounters({0, 60, 64, 48});
    const std::vector<uint8_t> px = colour(0, {0, 0, true}, 4);
    expectColour(pixelAt(px, 4, 0), 0, 0, 0, 0);
    const int c15 = tripleSine(15);
    expectColour(pixelAt(px, 4, 1), c15, c15, c15, 225);  // level 15 escapes the ring
    EXPECT_EQ(pixelAt(px, 4, 2).a, 255);
    EXPECT_EQ(pixelAt(px, 4, 3).r, tripleSine(12));
    for (int i = 4; i < kW * kH; ++i) ASSERT_EQ(pixelAt(px, 4, i).a, 0);

    // Without a fourth byte there is no alpha ramp: the floors apply as usual.
    const std::vector<uint8_t> with = colour(0, {0, 0, true}, 3);
    EXPECT_EQ(with, colour(0, {0, 0, false}, 3));
    expectColour(pixelAt(with, 3, 0), 167, 167, 167, -1);
    expectColour(pixelAt(with, 3, 3), 0, 0, 0, -1);
}

TEST_F(SwirlField, GrainShiftsLevelsByUpToHalfTheAmount) {
    std::fill(field.noiseBytes.begin(), field.noiseBytes.end(), 0);
    field.noiseBytes[5 + 0] = 255;  // under pixel 0 at offset 5
    field.noiseBytes[5 + 2] = 255;
    setCounters({400, 400, 1024, 0});
    const std::vector<uint8_t> px = colour(1, {128, 5, false}, 4);
    EXPECT_EQ(pixelAt(px, 4, 0).r, 255 - 163);  // 100 - 64 + 127
    EXPECT_EQ(pixelAt(px, 4, 1).r, 255 - 36);   // 100 - 64
    EXPECT_EQ(pixelAt(px, 4, 2).r, 0);          // 256 - 64 + 127, limited to 255
    EXPECT_EQ(pixelAt(px, 4, 3).r, 255);        // -64, limited to 0
    const std::vector<uint8_t> alpha = colour(1, {128, 5, true}, 4);
    EXPECT_EQ(pixelAt(alpha, 4, 0).a, 255);
    EXPECT_EQ(pixelAt(alpha, 4, 3).a, 0);
}

TEST_F(SwirlField, GrainPassesThroughTheFloors) {
    // Preset 2: negative levels become 30, levels 0..4 become 10.
    setCounters({});
    field.noiseBytes[0] = 100;  // level 50 - 64 < 0
    field.noiseBytes[1] = 130;  // level 65 - 64 = 1
    field.noiseBytes[2] = 255;  // level 63
    const std::vector<uint8_t> px = colour(2, {128, 0, false}, 3);
    const ModeRecord& m = field.modeTable[2];
    EXPECT_EQ(pixelAt(px, 3, 0).r, m.rampRed[30]);
    EXPECT_EQ(pixelAt(px, 3, 1).r, 5);
    EXPECT_EQ(pixelAt(px, 3, 2).r, m.rampRed[63]);
}

TEST_F(SwirlField, SmallestGrainChangesNothing) {
    std::vector<int32_t> counters(size_t(kW) * kH);
    for (size_t i = 0; i < counters.size(); ++i) counters[i] = int32_t(i * 37 % 1025);
    setCounters(counters);
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha);
        EXPECT_EQ(colour(4, {1, 777, alpha}, 4), colour(4, {0, 0, alpha}, 4));
        EXPECT_NE(colour(4, {2, 777, alpha}, 4), colour(4, {0, 0, alpha}, 4));
    }
}

TEST_F(SwirlField, GrainWindowMovesWithTheOffset) {
    setCounters({});
    for (size_t i = 0; i < field.noiseBytes.size(); ++i) field.noiseBytes[i] = uint8_t(i * 7);
    const std::vector<uint8_t> at9 = colour(3, {128, 9, false}, 3);
    const std::vector<uint8_t> at10 = colour(3, {128, 10, false}, 3);
    // Offset 10 shows at pixel p what offset 9 showed at pixel p + 1.
    EXPECT_TRUE(std::equal(at10.begin(), at10.end() - 3, at9.begin() + 3));
    EXPECT_NE(at9, at10);
    // The last offset reads up to the last grain byte but one for the last pixel.
    field.noiseBytes[field.noiseBytes.size() - 2] = 255;
    const std::vector<uint8_t> last = colour(1, {128, 9999, false}, 3);
    EXPECT_EQ(pixelAt(last, 3, kW * kH - 1).r, 255 - 63);
}

// ---------------------------------------------------------------------------
// The colouring kernels: every instruction-set path this CPU offers writes
// the portable path's bytes, for spans that are and are not multiples of
// the vector widths, counters in and out of their range, with and without
// grain, floors or alpha, and nothing past the span's last pixel.

struct ColourKernelCase {
    int bytesPerPixel;
    bool grain;
    int32_t levelA, fillA, levelB, fillB;
    bool opaque;  // every alpha byte 255
};

class ColourKernels : public ::testing::TestWithParam<ColourKernelCase> {};

TEST_P(ColourKernels, EveryPathWritesThePortableBytes) {
    const ColourKernelCase k = GetParam();
    RandomSource random(1234u + unsigned(k.bytesPerPixel) + (k.grain ? 10u : 0u) + unsigned(k.levelA & 0xFF));
    ColourRamp ramp;
    for (int g = 0; g < 256; ++g) {
        uint8_t bgra[4];
        for (uint8_t& byte : bgra) byte = uint8_t(random.next());
        if (k.opaque) bgra[3] = 255;
        std::memcpy(&ramp.pixel[g], bgra, 4);
        for (int ch = 0; ch < 4; ++ch) ramp.channel[ch][g] = bgra[ch];
    }
    ramp.grainAmount = 128;
    ramp.grainBias = 64;
    ramp.levelA = k.levelA;
    ramp.fillA = k.fillA;
    ramp.levelB = k.levelB;
    ramp.fillB = k.fillB;
    fillPlainTables(ramp);

    constexpr int kMaxCount = 300;
    std::vector<int32_t> counters(kMaxCount);
    std::vector<uint8_t> grain(kMaxCount);
    for (int i = 0; i < kMaxCount; ++i) {
        const int r = random.next();
        // Mostly counters as stamping leaves them, some far outside.
        counters[i] = r % 8 == 0 ? ((r / 8) % 2 == 0 ? -(r % 5000) : 1024 + r % 5000) : r % 1025;
        if (r % 16 == 1) counters[i] = 1024 - (r / 16) % 2 * 4;  // full, and the top level below it
        grain[i] = uint8_t(random.next());
    }
    using Kernel = decltype(&colourSpan_portable);
    const std::pair<Isa, Kernel> paths[] = {{Isa::Avx2, &colourSpan_avx2}, {Isa::Avx512, &colourSpan_avx512}};
    const int bpp = k.bytesPerPixel;
    for (int count : {0, 1, 7, 8, 15, 16, 17, 63, 64, 65, 127, 128, 129, 200, kMaxCount}) {
        std::vector<uint8_t> expected(size_t(kMaxCount + 1) * bpp, 0xEE);
        colourSpan_portable(&ramp, counters.data(), k.grain ? grain.data() : nullptr, count, expected.data(), bpp);
        for (const auto& [isa, kernel] : paths) {
            if (int(isa) > int(bestIsa())) continue;
            SCOPED_TRACE(testing::Message() << "path " << int(isa) << ", " << count << " pixels");
            std::vector<uint8_t> got(expected.size(), 0xEE);
            kernel(&ramp, counters.data(), k.grain ? grain.data() : nullptr, count, got.data(), bpp);
            EXPECT_EQ(got, expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    FloorsGrainAndDepths, ColourKernels,
    ::testing::Values(ColourKernelCase{4, false, 12, 50, 20, 0, false}, ColourKernelCase{3, false, 12, 50, 20, 0, true},
                      ColourKernelCase{4, false, 12, 50, 20, 0, true}, ColourKernelCase{4, true, 0, 30, 5, 10, false},
                      ColourKernelCase{3, true, 0, 30, 5, 10, false}, ColourKernelCase{4, true, 0, 30, 5, 10, true},
                      ColourKernelCase{4, true, INT32_MIN, 0, INT32_MIN, 0, false},
                      ColourKernelCase{4, false, INT32_MIN, 0, INT32_MIN, 0, true},
                      // Level 256 floored apart from 255: the plain tables cannot hold it.
                      ColourKernelCase{4, false, 256, 3, INT32_MIN, 0, false},
                      ColourKernelCase{4, false, 300, -7, 40000, 999, false}));

// ---------------------------------------------------------------------------
// The plug-in through plugMain.

class SwirlPlugin : public ::testing::Test {
   protected:
    static void SetUpTestSuite() { lib = new vyrtest::PluginLibrary("VyrGlobSwirl1"); }
    static void TearDownTestSuite() {
        delete lib;
        lib = nullptr;
    }
    // Every test starts with preset 0's defaults published, whatever ran before.
    void SetUp() override {
        {
            vyrtest::Instance reset(*lib, 8, 8);
            reset.setParameter("Mode", 0.2f);
            reset.renderFrame();
            reset.setParameter("Mode", 0.0f);
            reset.renderFrame();
        }
        std::srand(1);
    }
    static vyrtest::PluginLibrary* lib;
};
vyrtest::PluginLibrary* SwirlPlugin::lib = nullptr;

TEST_F(SwirlPlugin, ModePicksTheEmptyFieldColour) {
    struct Case {
        float mode;
        int r, g, b;
    };
    const Case cases[] = {{0.0f, 167, 167, 167},  {0.19f, 167, 167, 167}, {0.2f, 255, 255, 255}, {0.5f, 5, 5, 5},
                          {0.79f, 224, 224, 224}, {0.8f, 244, 148, 12},   {0.99f, 244, 148, 12}, {1.0f, 248, 240, 44}};
    for (uint32_t depth : {ff::kDepth32, ff::kDepth24}) {
        vyrtest::Instance inst(*lib, 13, 7, depth);
        inst.setParameter("Draw Switch!", 0.0f);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.mode);
            inst.setParameter("Mode", c.mode);
            std::vector<uint8_t> frame(inst.frameBytes(), 0x5A);
            ASSERT_EQ(inst.processFrame(frame), 0u);
            const int bpp = int(inst.bytesPerPixel());
            for (int i = 0; i < 13 * 7; ++i) expectColour(pixelAt(frame, bpp, i), c.r, c.g, c.b, bpp == 4 ? 255 : -1);
        }
    }
}

TEST_F(SwirlPlugin, ModePublishesItsPresetsDefaults) {
    const int speed = lib->parameterIndex("Speed");
    const int count = lib->parameterIndex("Num Particles");
    vyrtest::Instance inst(*lib, 16, 12);
    const float speedValue = inst.getParameter(speed);
    inst.renderFrame();
    EXPECT_FLOAT_EQ(lib->parameterDefault(speed), 0.2f);
    EXPECT_FLOAT_EQ(lib->parameterDefault(count), 0.2f);
    inst.setParameter("Mode", 0.3f);
    // Published by the frame that selects the preset, not by setting "Mode".
    EXPECT_FLOAT_EQ(lib->parameterDefault(speed), 0.2f);
    inst.renderFrame();
    EXPECT_FLOAT_EQ(lib->parameterDefault(speed), 0.5f);
    EXPECT_FLOAT_EQ(lib->parameterDefault(count), 0.5f);
    inst.setParameter("Mode", 0.5f);
    inst.renderFrame();
    EXPECT_FLOAT_EQ(lib->parameterDefault(speed), 0.2f);
    EXPECT_FLOAT_EQ(lib->parameterDefault(count), 0.2f);
    inst.setParameter("Mode", 1.0f);
    inst.renderFrame();
    EXPECT_FLOAT_EQ(lib->parameterDefault(speed), 0.5f);
    inst.setParameter("Mode", 0.0f);
    inst.renderFrame();
    EXPECT_FLOAT_EQ(lib->parameterDefault(speed), 0.2f);
    EXPECT_FLOAT_EQ(lib->parameterDefault(count), 0.2f);
    // The instance's current values are left alone.
    EXPECT_EQ(inst.getParameter(speed), speedValue);
}

TEST_F(SwirlPlugin, AlphaSwitchClearsTheEmptyFieldOnlyWithFourBytePixels) {
    vyrtest::Instance rgba(*lib, 20, 10, ff::kDepth32);
    rgba.setParameter("Draw Switch!", 0.0f);
    rgba.setParameter("Alpha Switch", 1.0f);
    const std::vector<uint8_t> clear = rgba.renderFrame();
    EXPECT_TRUE(std::all_of(clear.begin(), clear.end(), [](uint8_t b) { return b == 0; }));
    rgba.setParameter("Alpha Switch", 0.5f);  // not above one half: opaque
    const std::vector<uint8_t> opaque = rgba.renderFrame();
    expectColour(pixelAt(opaque, 4, 0), 167, 167, 167, 255);

    vyrtest::Instance rgb(*lib, 20, 10, ff::kDepth24);
    rgb.setParameter("Draw Switch!", 0.0f);
    rgb.setParameter("Alpha Switch", 1.0f);
    const std::vector<uint8_t> grey = rgb.renderFrame();
    EXPECT_TRUE(std::all_of(grey.begin(), grey.end(), [](uint8_t b) { return b == 167; }));
}

TEST_F(SwirlPlugin, GrainStaysWithinItsRangeAndShimmers) {
    // Preset 1 on an empty field: level max(grain - 64, 0), painted 255 - level.
    vyrtest::Instance inst(*lib, 64, 48, ff::kDepth24);
    inst.setParameter("Draw Switch!", 0.0f);
    inst.setParameter("Mode", 0.2f);
    inst.setParameter("NoiseLevel", 1.0f);
    const std::vector<uint8_t> a = inst.renderFrame();
    const std::vector<uint8_t> b = inst.renderFrame();
    const auto [lo, hi] = std::minmax_element(a.begin(), a.end());
    EXPECT_EQ(*hi, 255);
    EXPECT_GE(*lo, 192);
    EXPECT_LT(*lo, 200);
    EXPECT_NE(a, b);  // a new window of the same grain every frame
    inst.setParameter("NoiseLevel", 0.0f);
    const std::vector<uint8_t> c = inst.renderFrame();
    EXPECT_TRUE(std::all_of(c.begin(), c.end(), [](uint8_t v) { return v == 255; }));
}

TEST_F(SwirlPlugin, SwarmMovesFromTheSecondFrameOnAtItsSpeed) {
    vyrtest::Instance still(*lib, 120, 90);
    still.setParameter("Speed", 0.0f);
    const std::vector<uint8_t> a = still.renderFrame();
    EXPECT_TRUE(vyrtest::samePicture(still.renderFrame(), a));
    EXPECT_TRUE(vyrtest::samePicture(still.renderFrame(), a));

    vyrtest::Instance moving(*lib, 120, 90);
    const std::vector<uint8_t> b = moving.renderFrame();
    EXPECT_NE(moving.renderFrame(), b);
}

TEST_F(SwirlPlugin, DrawSwitchForgetsTheSwarm) {
    const int w = 120, h = 90;
    std::srand(1);
    vyrtest::Instance inst(*lib, w, h);
    const std::vector<uint8_t> first = inst.renderFrame();  // seeds
    inst.renderFrame();                                     // moves
    inst.setParameter("Draw Switch!", 0.0f);
    const std::vector<uint8_t> off = inst.renderFrame();
    EXPECT_TRUE(std::all_of(off.begin(), off.end(), [&](uint8_t b) { return b == 167 || b == 255; }));

    // Switched on again, it seeds afresh from where the random sequence has
    // got to: the picture a new instance seeds from the same point.
    inst.setParameter("Draw Switch!", 0.01f);
    std::srand(77);
    const std::vector<uint8_t> again = inst.renderFrame();
    vyrtest::Instance fresh(*lib, w, h);
    fresh.setParameter("Draw Switch!", 0.01f);
    std::srand(77);
    EXPECT_TRUE(vyrtest::samePicture(again, fresh.renderFrame()));
    EXPECT_FALSE(vyrtest::samePicture(again, first));
}

}  // namespace
