// VyrSnowSpecks1: what a host sees of the white-dots source (through the
// built plug-in), and the scene's own stages (compiled in from its sources).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "dot_scene.h"
#include "plug_obj.h"
#include "plugin_host.h"
#include "random_source.h"

// The C library's rand(), the sequence the FreeFrame face draws from.
static RandomSource cLibraryRandom;

namespace {

using vyrtest::Instance;
using vyrtest::PluginLibrary;
using Pixel = std::pair<int, int>;  // (column, row)

const PluginLibrary& lib() {
    static PluginLibrary library("VyrSnowSpecks1");
    return library;
}

// Every pixel grey (three equal colour bytes), and at 4 bytes per pixel the
// fourth byte 255.
void expectGreyPicture(const std::vector<uint8_t>& frame, int bpp) {
    for (size_t i = 0; i + bpp <= frame.size(); i += bpp) {
        ASSERT_EQ(frame[i], frame[i + 1]) << "pixel " << i / bpp;
        ASSERT_EQ(frame[i], frame[i + 2]) << "pixel " << i / bpp;
        if (bpp == 4) {
            ASSERT_EQ(frame[i + 3], 255) << "pixel " << i / bpp;
        }
    }
}

void expectBlack(const std::vector<uint8_t>& frame, int bpp) {
    for (size_t i = 0; i + bpp <= frame.size(); i += bpp) {
        ASSERT_EQ(frame[i] | frame[i + 1] | frame[i + 2], 0) << "pixel " << i / bpp;
        if (bpp == 4) {
            ASSERT_EQ(frame[i + 3], 255) << "pixel " << i / bpp;
        }
    }
}

std::set<Pixel> litPixels(const std::vector<uint8_t>& frame, int w, int bpp) {
    std::set<Pixel> lit;
    for (size_t i = 0; i * bpp < frame.size(); ++i)
        if (frame[i * bpp] != 0) lit.insert({int(i % w), int(i / w)});
    return lit;
}

uint8_t at(const std::vector<uint8_t>& frame, int w, int bpp, int x, int y) { return frame[(size_t(y) * w + x) * bpp]; }

struct IntPoint {
    int x, y, z;
};

// Dot positions as seeding places them: after `skip` earlier draws, three
// draws per dot, each reduced modulo half the larger frame side.
std::vector<IntPoint> seededDots(int count, int half, int skip = 0) {
    std::srand(1);
    vyrtest::skipDraws(skip);
    std::vector<IntPoint> dots;
    for (int i = 0; i < count; ++i) {
        const int x = std::rand() % half;
        const int y = std::rand() % half;
        const int z = std::rand() % half;
        dots.push_back({x, y, z});
    }
    return dots;
}

// Centre pixels of unrotated dots, those inside a w x h frame.
std::set<Pixel> centresInFrame(const std::vector<IntPoint>& dots, int w, int h) {
    std::set<Pixel> c;
    for (const IntPoint& d : dots) {
        const int cx = d.x + w / 2, cy = d.y + h / 2;
        if (cx >= 0 && cx < w && cy >= 0 && cy < h) c.insert({cx, cy});
    }
    return c;
}

// "Dot Scale" 0 and "Brightness" 0 make every dot in the front half of the
// cube light its centre pixel only, so the picture shows where dots are.
void usePointDots(Instance& inst) {
    inst.setParameter("Dot Scale", 0.0f);
    inst.setParameter("Brightness", 0.0f);
}

std::vector<std::vector<uint8_t>> renderFrames(Instance& inst, int n) {
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < n; ++i) frames.push_back(inst.renderFrame());
    return frames;
}

// ---------------------------------------------------------------------------
// The draw switch

TEST(SnowSpecksSwitch, AtOrBelowPointTwoDrawsBlackAtBothDepths) {
    for (uint32_t depth : {ff::kDepth32, ff::kDepth24}) {
        Instance inst(lib(), 64, 48, depth);
        for (float v : {0.2f, 0.0f, -3.0f}) {
            inst.setParameter("Draw Switch!", v);
            // A white input must not show through either.
            std::vector<uint8_t> frame(inst.frameBytes(), 255);
            ASSERT_EQ(inst.processFrame(frame), 0u);
            expectBlack(frame, inst.bytesPerPixel());
        }
        inst.setParameter("Draw Switch!", 0.2001f);
        EXPECT_FALSE(litPixels(inst.renderFrame(), 64, inst.bytesPerPixel()).empty());
    }
}

TEST(SnowSpecksSwitch, SwitchingOffAndOnSeedsAFreshScene) {
    std::srand(1);
    Instance fresh(lib(), 120, 90);
    usePointDots(fresh);
    const std::vector<uint8_t> first = fresh.renderFrame();

    std::srand(1);
    Instance toggled(lib(), 120, 90);
    usePointDots(toggled);
    toggled.setParameter("Draw Switch!", 0.1f);
    expectBlack(toggled.renderFrame(), 4);
    toggled.setParameter("Draw Switch!", 0.9f);
    // An off frame draws nothing from the random sequence, so the scene
    // seeded now is the one the fresh instance seeded.
    EXPECT_TRUE(vyrtest::samePicture(toggled.renderFrame(), first));

    toggled.renderFrame();
    toggled.setParameter("Draw Switch!", 0.0f);
    expectBlack(toggled.renderFrame(), 4);
    toggled.setParameter("Draw Switch!", 1.0f);
    const std::vector<uint8_t> reseeded = toggled.renderFrame();
    const int defaultDots = 8;  // "Num Particles" 0.5
    EXPECT_EQ(litPixels(reseeded, 120, 4),
              centresInFrame(seededDots(defaultDots, 60, 3 * defaultDots + 3 * kNumAttractors), 120, 90));
}

// ---------------------------------------------------------------------------
// Seeding and motion, as the picture shows them

TEST(SnowSpecksSeeding, FirstFrameShowsTheSeededDotsUnmoved) {
    // 200 x 100: half = 100, so dots land in columns 100..199 and in rows
    // 50..149, of which rows 100 and beyond lie outside the picture.
    std::srand(1);
    Instance inst(lib(), 200, 100);
    usePointDots(inst);
    inst.setParameter("Num Particles", 1.0f);
    const std::vector<uint8_t> frame = inst.renderFrame();
    const std::set<Pixel> expected = centresInFrame(seededDots(16, 100), 200, 100);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(litPixels(frame, 200, 4), expected);
    for (const Pixel& c : expected) EXPECT_EQ(at(frame, 200, 4, c.first, c.second), 255);
}

TEST(SnowSpecksSeeding, NumParticlesActsOnlyAtSeeding) {
    std::srand(1);
    Instance changed(lib(), 200, 100);
    usePointDots(changed);
    changed.setParameter("Num Particles", 0.0f);
    std::vector<std::vector<uint8_t>> frames;
    frames.push_back(changed.renderFrame());
    EXPECT_EQ(litPixels(frames[0], 200, 4), centresInFrame(seededDots(1, 100), 200, 100));
    changed.setParameter("Num Particles", 1.0f);
    for (int i = 0; i < 3; ++i) frames.push_back(changed.renderFrame());

    std::srand(1);
    Instance steady(lib(), 200, 100);
    usePointDots(steady);
    steady.setParameter("Num Particles", 0.0f);
    EXPECT_EQ(renderFrames(steady, 4), frames);

    // The new count takes effect once the switch has been off.
    changed.setParameter("Draw Switch!", 0.0f);
    changed.renderFrame();
    changed.setParameter("Draw Switch!", 0.5f);
    const std::vector<uint8_t> reseeded = changed.renderFrame();
    EXPECT_EQ(litPixels(reseeded, 200, 4), centresInFrame(seededDots(16, 100, 3 + 3 * kNumAttractors), 200, 100));
}

TEST(SnowSpecksSeeding, DotsMoveAtMostFourPixelsPerAxisPerFrame) {
    // One point dot seen from the front: its centre pixel shifts by at most
    // the speed limit (seeded positions are whole pixels).
    int watched = 0;
    for (int salt = 1; salt <= 30; ++salt) {
        std::srand(unsigned(salt));
        Instance inst(lib(), 240, 240);
        usePointDots(inst);
        inst.setParameter("Num Particles", 0.0f);
        const std::set<Pixel> a = litPixels(inst.renderFrame(), 240, 4);
        const std::set<Pixel> b = litPixels(inst.renderFrame(), 240, 4);
        ASSERT_LE(a.size(), 1u);
        ASSERT_LE(b.size(), 1u);
        if (a.empty() || b.empty()) continue;  // left the picture
        ++watched;
        EXPECT_LE(std::abs(b.begin()->first - a.begin()->first), 4) << "seed " << salt;
        EXPECT_LE(std::abs(b.begin()->second - a.begin()->second), 4) << "seed " << salt;
    }
    EXPECT_GE(watched, 10);
}

// ---------------------------------------------------------------------------
// Pictures

TEST(SnowSpecksPicture, OverlappingWideDotsSaturateToWhite) {
    // Sixteen dots wider than the frame, each alone lighting every pixel
    // with at least 165: summed they would pass 255 everywhere.
    std::srand(1);
    Instance inst(lib(), 64, 64);
    inst.setParameter("Dot Scale", 1.0f);
    inst.setParameter("Brightness", 1.0f);
    inst.setParameter("Num Particles", 1.0f);
    for (int f = 0; f < 3; ++f) {
        const std::vector<uint8_t> frame = inst.renderFrame();
        expectGreyPicture(frame, 4);
        for (size_t i = 0; i < frame.size(); i += 4) ASSERT_EQ(frame[i], 255) << "frame " << f << " pixel " << i / 4;
    }
}

TEST(SnowSpecksPicture, GreyOnBlackUnderEveryRotation) {
    const float angles[][3] = {{0.5f, 0.5f, 0.5f}, {0.1f, 0.7f, 0.3f}, {0.9f, 0.25f, 1.0f}, {0.0f, 0.0f, 0.62f}};
    for (const auto& a : angles) {
        std::srand(7);
        Instance inst(lib(), 100, 70, ff::kDepth32);
        inst.setParameter("Angle X", a[0]);
        inst.setParameter("Angle Y", a[1]);
        inst.setParameter("Angle Z", a[2]);
        inst.setParameter("Num Particles", 1.0f);
        inst.setParameter("Dot Scale", 0.1f);
        bool anyLit = false, anyDark = false;
        for (int f = 0; f < 5; ++f) {
            const std::vector<uint8_t> frame = inst.renderFrame();
            expectGreyPicture(frame, 4);
            for (size_t i = 0; i < frame.size(); i += 4) (frame[i] ? anyLit : anyDark) = true;
        }
        EXPECT_TRUE(anyLit);
        EXPECT_TRUE(anyDark);
    }
}

TEST(SnowSpecksPicture, LookParametersActOnEveryFrameWithoutChangingTheMotion) {
    // Rotation, size and brightness change how the running scene is drawn,
    // not where the dots go: switching them on the second frame gives that
    // frame exactly as if they had been set from the start.
    const std::vector<std::pair<const char*, float>> looks = {
        {"Angle X", 0.8f}, {"Angle Y", 0.1f}, {"Angle Z", 0.3f}, {"Dot Scale", 0.2f}, {"Brightness", 0.9f}};
    for (const auto& look : looks) {
        std::srand(3);
        Instance late(lib(), 96, 80);
        const std::vector<uint8_t> before = late.renderFrame();
        late.setParameter(look.first, look.second);
        const std::vector<uint8_t> after = late.renderFrame();

        std::srand(3);
        Instance early(lib(), 96, 80);
        early.setParameter(look.first, look.second);
        const std::vector<uint8_t> first = early.renderFrame();
        EXPECT_NE(first, before) << look.first;
        EXPECT_TRUE(vyrtest::samePicture(early.renderFrame(), after)) << look.first;
    }
}

TEST(SnowSpecksPicture, FirstFramesAfterTheSameSeedAreIdentical) {
    std::vector<std::vector<uint8_t>> runs[2];
    for (auto& run : runs) {
        std::srand(1);
        Instance inst(lib(), 128, 96);
        inst.setParameter("Angle Z", 0.35f);
        inst.setParameter("Dot Scale", 0.4f);
        run = renderFrames(inst, 6);
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(runs[0][0], runs[0][5]);  // the dots do move
}

// ---------------------------------------------------------------------------
// Frames smaller than a dot

TEST(SnowSpecksTinyFrames, SinglePixelStaysBlackAndDrawsNoRandomNumbers) {
    for (uint32_t depth : {ff::kDepth32, ff::kDepth24}) {
        std::srand(1);
        const int next = std::rand();
        std::srand(1);
        Instance inst(lib(), 1, 1, depth);
        inst.setParameter("Dot Scale", 1.0f);
        for (int f = 0; f < 3; ++f) {
            std::vector<uint8_t> frame(inst.frameBytes(), 77);
            ASSERT_EQ(inst.processFrame(frame), 0u);
            expectBlack(frame, inst.bytesPerPixel());
        }
        EXPECT_EQ(std::rand(), next);
    }
}

TEST(SnowSpecksTinyFrames, TwoPixelsAreEnoughToSeed) {
    // Larger side 2: half = 1, so every dot starts at the origin, which is
    // column 1 of row 0.
    std::srand(1);
    Instance inst(lib(), 2, 1);
    usePointDots(inst);
    const std::vector<uint8_t> frame = inst.renderFrame();
    EXPECT_EQ(litPixels(frame, 2, 4), (std::set<Pixel>{{1, 0}}));
    EXPECT_EQ(at(frame, 2, 4, 1, 0), 255);
}

TEST(SnowSpecksTinyFrames, SmallFramesWithLargeDotsNeverFail) {
    const int sizes[][2] = {{1, 5}, {5, 1}, {2, 2}, {3, 1}, {16, 16}, {17, 3}};
    for (const auto& s : sizes)
        for (uint32_t depth : {ff::kDepth32, ff::kDepth24}) {
            std::srand(2);
            Instance inst(lib(), s[0], s[1], depth);
            inst.setParameter("Dot Scale", 1.0f);
            inst.setParameter("Num Particles", 1.0f);
            for (int f = 0; f < 40; ++f) {
                // Turn the cube now and then, and reseed once.
                inst.setParameter("Angle X", float(f % 7) / 6.0f);
                inst.setParameter("Draw Switch!", f == 20 ? 0.0f : 1.0f);
                std::vector<uint8_t> frame = vyrtest::texturedPicture(inst, unsigned(f));
                ASSERT_EQ(inst.processFrame(frame), 0u);
                expectGreyPicture(frame, inst.bytesPerPixel());
                if (f == 20) expectBlack(frame, inst.bytesPerPixel());
            }
        }
}

// ---------------------------------------------------------------------------
// Scene stages, compiled in from the generator's sources

TEST(SnowSpecksStages, ParameterMappings) {
    const auto settingsWith = [](int index, float v) {
        float param[kNumParams];
        for (int i = 0; i < kNumParams; ++i) param[i] = kParamSpecs[i].defaultValue;
        param[index] = v;
        return snowSettings(param);
    };
    EXPECT_FALSE(settingsWith(kDrawSwitch, 0.2f).drawOn);
    EXPECT_TRUE(settingsWith(kDrawSwitch, 0.20001f).drawOn);
    EXPECT_EQ(settingsWith(kDotScale, 0.0f).dotReach, 5.0f);
    EXPECT_EQ(settingsWith(kDotScale, 1.0f).dotReach, float(kMaxReach));
    EXPECT_EQ(settingsWith(kBrightness, 1.0f).falloff, 65536.0f);
    EXPECT_EQ(settingsWith(kBrightness, 0.0f).falloff, 327680.0f);
    EXPECT_EQ(settingsWith(kNumParticles, 0.0f).dotCount, 1);
    EXPECT_EQ(settingsWith(kNumParticles, 0.5f).dotCount, 8);
    EXPECT_EQ(settingsWith(kNumParticles, 1.0f).dotCount, 16);
    const FrameGeometry g = frameGeometry(7, 11);
    EXPECT_EQ(g.span, 11.0f);
    EXPECT_EQ(g.spanWhole, 11);
    EXPECT_EQ(g.halfSpanWhole, 5);
    EXPECT_EQ(g.halfSpan, 5.5f);
}

TEST(SnowSpecksStages, SeedingRangesAndDrawCount) {
    for (int size : {2, 3, 64, 333}) {
        const FrameGeometry geo = frameGeometry(size, 1);
        SceneMembers scene;
        std::srand(unsigned(size));
        seedScene(scene, 16, geo, cLibraryRandom);
        const int after = std::rand();
        std::srand(unsigned(size));
        vyrtest::skipDraws(3 * 16 + 3 * kNumAttractors);
        EXPECT_EQ(std::rand(), after) << "three draws per dot and per attractor";
        EXPECT_TRUE(scene.particlesSeeded);
        EXPECT_EQ(scene.particleCount, 16);
        for (int i = 0; i < 16; ++i)
            for (float c : {scene.particlePos[i].x, scene.particlePos[i].y, scene.particlePos[i].z}) {
                EXPECT_GE(c, 0.0f);
                EXPECT_LE(c, float(geo.halfSpanWhole - 1));
                EXPECT_EQ(c, std::floor(c));
            }
        for (const Vec3& a : scene.attractors)
            for (float c : {a.x, a.y, a.z}) {
                EXPECT_GE(c, -geo.halfSpan);
                EXPECT_LE(c, float(geo.spanWhole - 1) - geo.halfSpan);
            }
    }
}

TEST(SnowSpecksStages, OneAttractorPullsWithFifteenOverDistanceSquared) {
    SceneMembers scene;
    scene.numAttractors = 1;
    scene.particleCount = 1;
    scene.attractors[0] = {10.0f, 0.0f, 0.0f};
    scene.particlePos[0] = {0.0f, 0.0f, 0.0f};
    scene.particleVel[0] = {0.0f, 1.0f, 0.0f};
    stepDots(scene);
    EXPECT_NEAR(scene.particleVel[0].x, 0.15f, 1e-6f);
    EXPECT_EQ(scene.particleVel[0].y, 1.0f);
    EXPECT_EQ(scene.particleVel[0].z, 0.0f);
    EXPECT_NEAR(scene.particlePos[0].x, 0.15f, 1e-6f);
    EXPECT_EQ(scene.particlePos[0].y, 1.0f);

    // Closer than 1 the distance counts as 1: a pull of 0.8 x 15 = 12.
    scene.particleVel[0] = {0.0f, 0.0f, -10.0f};
    scene.particlePos[0] = {10.0f, 0.0f, -0.8f};
    stepDots(scene);
    EXPECT_NEAR(scene.particleVel[0].z, 2.0f, 1e-5f);
    EXPECT_NEAR(scene.particlePos[0].z, 1.2f, 1e-5f);
    EXPECT_EQ(scene.particleVel[0].x, 0.0f);

    // Velocities are limited to 4 per component: 0.5 x 15 = 7.5 becomes 4.
    scene.particleVel[0] = {0.0f, 0.0f, 0.0f};
    scene.particlePos[0] = {10.0f, 0.0f, -0.5f};
    stepDots(scene);
    EXPECT_EQ(scene.particleVel[0].z, 4.0f);
    EXPECT_EQ(scene.particlePos[0].z, 3.5f);
}

TEST(SnowSpecksStages, FirstFrameRestsAndLaterFramesStayWithinTheSpeedLimit) {
    std::srand(1);
    VideoInfoStruct info = {160, 120, ff::kDepth32, 0};
    PlugObj* obj = instantiate(&info);
    ASSERT_NE(obj, nullptr);
    obj->paramValues[kNumParticles].value = 1.0f;
    std::vector<uint8_t> frame(obj->frameBytes(), 0);
    ASSERT_EQ(obj->processFrame(frame.data()), 0);
    ASSERT_EQ(obj->particleCount, 16);
    const std::vector<IntPoint> seeds = seededDots(16, 80);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(obj->particlePos[i].x, float(seeds[i].x));
        EXPECT_EQ(obj->particlePos[i].y, float(seeds[i].y));
        EXPECT_EQ(obj->particlePos[i].z, float(seeds[i].z));
    }
    for (int f = 0; f < 50; ++f) {
        Vec3 before[kMaxDots];
        std::copy(obj->particlePos, obj->particlePos + kMaxDots, before);
        ASSERT_EQ(obj->processFrame(frame.data()), 0);
        for (int i = 0; i < 16; ++i) {
            const Vec3 v = obj->particleVel[i];
            for (float c : {v.x, v.y, v.z}) ASSERT_LE(std::fabs(c), 4.0f);
            EXPECT_EQ(obj->particlePos[i].x, before[i].x + v.x);
            EXPECT_EQ(obj->particlePos[i].y, before[i].y + v.y);
            EXPECT_EQ(obj->particlePos[i].z, before[i].z + v.z);
        }
    }
    EXPECT_EQ(deInstantiate(obj), 0);
}

class ConeProfile : public ::testing::Test {
   protected:
    static constexpr int kSide = 600;
    void SetUp() override {
        buildDistanceTable(table);
        accum.assign(size_t(kSide) * kSide, 0);
    }
    int32_t cell(int x, int y) const { return accum[size_t(y) * kSide + x]; }
    std::vector<int32_t> table;
    std::vector<int32_t> accum;
};

TEST_F(ConeProfile, DistanceTableCoversEveryReach) {
    ASSERT_EQ(table.size(), size_t(kDistanceSide) * kDistanceSide);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[4 * kDistanceSide + 3], 5);
    EXPECT_EQ(table[1 * kDistanceSide + 1], 1);
    EXPECT_EQ(table[size_t(kMaxReach) * kDistanceSide + kMaxReach], 724);  // 724.08
    EXPECT_EQ(table[kMaxReach], kMaxReach);
}

TEST_F(ConeProfile, BrightDotOfSize256FallsByOnePerPixel) {
    // "Dot Scale" 1 (reach 512) at depth factor 0.5 (z = 0) is size 256.
    const FrameGeometry geo = frameGeometry(kSide, kSide);
    const DotFootprint dot = dotFootprint({0.0f, 0.0f, 0.0f}, geo, 512.0f, 65536.0f, kSide, kSide);
    EXPECT_EQ(dot.cx, 300);
    EXPECT_EQ(dot.cy, 300);
    EXPECT_EQ(dot.reach, 256);
    EXPECT_EQ(dot.slope, 256);
    drawCone(accum.data(), kSide, kSide, table.data(), dot);
    for (int d = 0; d < 256; ++d) {
        EXPECT_EQ(cell(300 + d, 300), 255 - d);
        EXPECT_EQ(cell(300, 300 - d), 255 - d);
    }
    EXPECT_EQ(cell(300 - 256, 300), 0);  // outside the square (-256..255)
    EXPECT_EQ(cell(300 + 256, 300), 0);
    EXPECT_EQ(cell(300 + 3, 300 + 4), 250);
}

TEST_F(ConeProfile, DimDotOfSize256IsNarrower) {
    const FrameGeometry geo = frameGeometry(kSide, kSide);
    const DotFootprint dot = dotFootprint({0.0f, 0.0f, 0.0f}, geo, 512.0f, 327680.0f, kSide, kSide);
    EXPECT_EQ(dot.slope, 1280);
    drawCone(accum.data(), kSide, kSide, table.data(), dot);
    for (int d = 0; d < 51; ++d) EXPECT_EQ(cell(300 - d, 300), 255 - 5 * d);
    EXPECT_EQ(cell(300 - 51, 300), 0);
}

TEST_F(ConeProfile, SmallestDotLightsOnlyItsCentreInsideATwentyPixelSquare) {
    // "Dot Scale" 0 at the back of the cube: depth factor 0.01, size 0.05.
    const FrameGeometry geo = frameGeometry(kSide, kSide);
    const DotFootprint dot = dotFootprint({10.0f, -20.0f, -5000.0f}, geo, 5.0f, 196608.0f, kSide, kSide);
    EXPECT_EQ(dot.reach, 10);
    EXPECT_EQ(dot.cx, 310);
    EXPECT_EQ(dot.cy, 280);
    drawCone(accum.data(), kSide, kSide, table.data(), dot);
    // Every other pixel of the square gets 0: the fall-off is at least 255.
    int lit = 0;
    for (int32_t v : accum) lit += v != 0;
    EXPECT_EQ(lit, 1);
    EXPECT_EQ(cell(310, 280), 255);
}

TEST_F(ConeProfile, OverlappingConesSaturate) {
    const DotFootprint dot = {300, 300, 200, 256};  // 255 - d within the square
    drawCone(accum.data(), kSide, kSide, table.data(), dot);
    drawCone(accum.data(), kSide, kSide, table.data(), dot);
    EXPECT_EQ(cell(300, 300), 255);
    EXPECT_EQ(cell(300 + 100, 300), 255);  // 2 x 155
    EXPECT_EQ(cell(300 - 150, 300), 210);  // 2 x 105
    EXPECT_EQ(cell(300 + 199, 300), 112);  // 2 x 56
    EXPECT_EQ(cell(300 + 200, 300), 0);    // outside the square
    for (int32_t v : accum) ASSERT_LE(v, 255);
}

TEST_F(ConeProfile, ReachesFarBeyondASmallFrame) {
    // A 16 x 16 frame lit by dots centred hundreds of pixels away: offsets
    // up to 512 in size, well beyond the frame's own width.
    const int w = 16;
    std::vector<int32_t> small(size_t(w) * w, 0);
    drawCone(small.data(), w, w, table.data(), {-500, 3, 512, 100});
    for (int x = 0; x < w; ++x) {
        const int dx = x + 500;
        // Row 0 is 3 rows above the centre.
        const int expected = dx <= 511 ? 255 - std::min(255, (int(std::sqrt(double(dx * dx + 9))) * 100) >> 8) : 0;
        EXPECT_EQ(small[x], expected) << x;
    }
    std::fill(small.begin(), small.end(), 0);
    drawCone(small.data(), w, w, table.data(), {515, 515, 512, 1});
    EXPECT_EQ(small[size_t(3) * w + 3], 255 - ((724 * 1) >> 8));  // offset (-512, -512)
    EXPECT_EQ(small[size_t(3) * w + 2], 0);                       // offset -513: outside
    drawCone(small.data(), w, w, table.data(), {5000, -7000, 512, 1});
    EXPECT_EQ(small[size_t(3) * w + 3], 255 - ((724 * 1) >> 8));  // nothing added
}

// The generator draws bands of rows on accumulators that hold those rows
// only: cut anywhere, the bands light exactly what one whole-frame cone
// lights, answer columns that cover every lit one, and the grey rows leave
// the accumulators at 0 for the next band.
TEST_F(ConeProfile, BandsOfRowsMatchTheWholeFrame) {
    const DotFootprint dots[] = {{300, 300, 200, 256}, {-20, 590, 512, 90}, {599, 0, 40, 1000}};
    for (const DotFootprint& dot : dots) drawCone(accum.data(), kSide, kSide, table.data(), dot);
    for (int bandRows : {1, 7, 16, 600}) {
        std::vector<int32_t> band(size_t(bandRows) * kSide, 0);
        for (int top = 0; top < kSide; top += bandRows) {
            const int end = std::min(top + bandRows, kSide);
            ColumnSpan lit = {kSide, 0};
            for (const DotFootprint& dot : dots) {
                const ColumnSpan c = drawCone(band.data(), kSide, kSide, table.data(), dot, top, end);
                if (c.begin < c.end) lit = {std::min(lit.begin, c.begin), std::max(lit.end, c.end)};
            }
            for (int y = top; y < end; ++y)
                for (int x = 0; x < kSide; ++x) {
                    ASSERT_EQ(band[size_t(y - top) * kSide + x], cell(x, y)) << bandRows << " " << x << "," << y;
                    if (cell(x, y) != 0) {
                        ASSERT_TRUE(x >= lit.begin && x < lit.end) << x << "," << y;
                    }
                }
            for (int bpp : {3, 4}) {
                std::vector<int32_t> rows(band.begin(), band.begin() + (end - top) * kSide);
                std::vector<uint8_t> out(size_t(end - top) * kSide * bpp, 77);
                writeGreyRows(rows.data(), kSide, end - top, lit, bpp, out.data());
                for (int y = top; y < end; ++y)
                    for (int x = 0; x < kSide; ++x) {
                        const uint8_t* px = &out[(size_t(y - top) * kSide + x) * bpp];
                        const uint8_t grey = uint8_t(cell(x, y));
                        ASSERT_TRUE(px[0] == grey && px[1] == grey && px[2] == grey) << x << "," << y;
                        if (bpp == 4) {
                            ASSERT_EQ(px[3], 255);
                        }
                    }
                EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [](int32_t v) { return v == 0; }));
            }
            std::fill(band.begin(), band.end(), 0);
        }
    }
}

}  // namespace
