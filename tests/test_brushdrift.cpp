// VyrBrushDrift1: its stages driven directly (parameter mapping, canvas,
// brush dots, coverage, swirl, compositing, feedback) and the built plug-in
// driven as a host does.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "brush_kernels.h"
#include "brush_stages.h"
#include "descriptor.h"
#include "plugin_host.h"
#include "random_source.h"

// The C library's rand(), the sequence the FreeFrame face draws from.
static RandomSource cLibraryRandom;

namespace {

// ------------------------------------------------------------ stage helpers

// A scene as the plug-in builds it, for a w x h frame of b bytes per pixel.
struct Scene {
    SceneMembers members;
    FrameShape shape;
    Scene(int w, int h, int b) : shape{w, h, b} {
        createParticleField(members, kBrushField, w, h, cLibraryRandom);
        buildSwirlTables(members);
        members.canvas.assign(size_t(w) * h * 4, 0);
        members.workFrame.assign(size_t(w) * h * b, 0);
        members.feedbackFrame.assign(size_t(w) * h * b, 0);
        members.coverageMap.assign(size_t(w) * h, 0);
        members.dots.assign(kParticleCapacity, BrushDot{});
    }
    Scene(const Scene&) = delete;  // activeMode points into the members
    Scene& operator=(const Scene&) = delete;
    uint8_t* canvas(int x, int y) { return &members.canvas[(size_t(y) * shape.width + x) * 4]; }
    uint8_t& coverage(int x, int y) { return members.coverageMap[size_t(y) * shape.width + x]; }
    uint8_t* work(int x, int y) { return &members.workFrame[(size_t(y) * shape.width + x) * shape.bytesPerPixel]; }
    void fillKernel(int (*weight)(int v, int u)) {
        for (int v = 0; v < 256; ++v)
            for (int u = 0; u < 256; ++u) members.blobKernel[size_t(v) * 256 + u] = weight(v, u);
        findKernelSpans(members.blobKernel.data(), members.kernelSpans);
    }
};

BrushSettings settingsFor(std::vector<std::pair<int, float>> changes, float frameScale = 1.0f) {
    ModeRecord modes[kModeCount];
    buildModeTable(modes, kBrushField.modes);
    float params[kNumParams] = {0.5f, 0.08f, 0.5f, 0.1f, 0.5f, 0.5f, 1.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.75f, 0.5f, 0.0f};
    for (const auto& c : changes) params[c.first] = c.second;
    return deriveSettings(params, modes[0], frameScale);
}

const ViewRotation kNoRotation = viewRotation(0.0f, 0.0f, 0.0f);

ParticleRecord particleAt(float x, float y, float z, int c0, int c1, int c2) {
    return ParticleRecord{x, y, z, {c0, c1, c2}};
}

// ------------------------------------------------------- parameter mapping

TEST(BrushDriftSettings, ParticleCountFromNumParticles) {
    EXPECT_EQ(settingsFor({}).particleCount, 91);  // 81.92 + 10 at the default 0.08
    EXPECT_EQ(settingsFor({{kParamNumParticles, 0.0f}}).particleCount, 10);
    EXPECT_EQ(settingsFor({{kParamNumParticles, 1.0f}}).particleCount, 1024);  // 1034, limited
}

TEST(BrushDriftSettings, IntegerMappings) {
    EXPECT_EQ(settingsFor({{kParamAlphaMode, 0.49f}}).alphaMode, 0);
    EXPECT_EQ(settingsFor({{kParamAlphaMode, 0.5f}}).alphaMode, 1);
    EXPECT_EQ(settingsFor({{kParamAlphaMode, 0.99f}}).alphaMode, 1);
    EXPECT_EQ(settingsFor({{kParamAlphaMode, 1.0f}}).alphaMode, 2);
    EXPECT_EQ(settingsFor({{kParamSourceRotation, 1.0f}}).rotation, 32768);
    EXPECT_EQ(settingsFor({{kParamSourceRotation, 1.0f / 6.0f}}).rotation, 16384);
    EXPECT_EQ(settingsFor({{kParamSourceRange, 0.0f}}).bandHalfWidth, 1);
    EXPECT_EQ(settingsFor({{kParamSourceRange, 1.0f}}).bandHalfWidth, 255);
    EXPECT_EQ(settingsFor({}).bandHalfWidth, 128);
    EXPECT_EQ(settingsFor({{kParamSourceZoom, 0.25f}}).zoom, 256);
    EXPECT_EQ(settingsFor({{kParamBlendInput, 1.0f / 255.0f}}).inputGain, 1);
    EXPECT_EQ(settingsFor({}).feedback, 127);
    EXPECT_EQ(settingsFor({}).inputGain, 0);
}

TEST(BrushDriftSettings, SizesAndSpeedsScaleWithWidth) {
    const FrameGeometry g = frameGeometry(640, 480);
    EXPECT_EQ(g.sceneSpan, 768.0f);
    EXPECT_EQ(g.frameScale, 640.0f / 384.0f);
    const BrushSettings s = settingsFor({}, g.frameScale);
    EXPECT_NEAR(s.dotScale, 213.333f, 1e-3f);
    EXPECT_NEAR(s.speed, 8.3333f, 1e-4f);
    EXPECT_EQ(settingsFor({{kParamAngleZ, 0.5f}}).angleZ, 0.0f);
}

// ------------------------------------------------------------------ canvas

TEST(BrushDriftCanvas, GainIsModulo256) {
    Scene scene(4, 1, 4);
    const uint8_t input[16] = {10, 0, 200, 77, 255, 1, 128, 3, 0, 0, 0, 0, 9, 9, 9, 9};
    fillCanvasFromInput(scene.members, scene.shape, input, 1, 1);
    EXPECT_EQ(0, std::memcmp(scene.canvas(0, 0), input, 16));  // k = 1 copies, alpha included for m = 1
    fillCanvasFromInput(scene.members, scene.shape, input, 255, 0);
    EXPECT_EQ(scene.canvas(0, 0)[0], 246);
    EXPECT_EQ(scene.canvas(0, 0)[1], 0);
    EXPECT_EQ(scene.canvas(0, 0)[3], 255);
    fillCanvasFromInput(scene.members, scene.shape, input, 2, 2);
    EXPECT_EQ(scene.canvas(0, 0)[2], 144);
    EXPECT_EQ(scene.canvas(1, 0)[0], 254);
    EXPECT_EQ(scene.canvas(0, 0)[3], 77);  // m = 2 keeps the input alpha
    fillCanvasFromInput(scene.members, scene.shape, input, 2, 1);
    EXPECT_EQ(scene.canvas(0, 0)[3], 154);
}

TEST(BrushDriftCanvas, ZeroGainIgnoresInput) {
    Scene four(2, 1, 4), three(2, 1, 3);
    const uint8_t input[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    fillCanvasFromInput(four.members, four.shape, input, 0, 1);
    fillCanvasFromInput(three.members, three.shape, input, 0, 1);
    for (int x = 0; x < 2; ++x) {
        const uint8_t opaqueBlack[4] = {0, 0, 0, 255}, clear[4] = {0, 0, 0, 0};
        EXPECT_EQ(0, std::memcmp(four.canvas(x, 0), opaqueBlack, 4));
        EXPECT_EQ(0, std::memcmp(three.canvas(x, 0), clear, 4));
    }
    fillCanvasFromInput(three.members, three.shape, input, 3, 2);
    EXPECT_EQ(three.canvas(1, 0)[0], 12);
    EXPECT_EQ(three.canvas(1, 0)[3], 0);  // 3-byte pixels have no alpha
}

TEST(BrushDriftSwirl, ThirdsAndSinCosTables) {
    Scene scene(4, 4, 4);
    const SceneMembers& f = scene.members;
    EXPECT_EQ(f.thirdTable[767], 255);
    EXPECT_EQ(f.thirdTable[2], 0);
    EXPECT_EQ(f.thirdTable[3], 1);
    EXPECT_EQ(f.thirdTable[0], 0);
    auto sc = [&](int j) { return std::make_pair(f.sinCosTable[2 * size_t(j)], f.sinCosTable[2 * size_t(j) + 1]); };
    EXPECT_EQ(sc(0), std::make_pair(0, 65536));
    EXPECT_EQ(sc(16384), std::make_pair(65536, 0));
    EXPECT_EQ(sc(32768), std::make_pair(0, -65536));
    EXPECT_EQ(sc(49152), std::make_pair(-65536, 0));
    EXPECT_EQ(sc(8192), std::make_pair(46340, 46340));  // 65536 / sqrt 2, truncated
}

// -------------------------------------------------------------- brush dots

TEST(BrushDriftDots, StrengthGrowsWithNearnessAndPaintIsTheParticles) {
    // Placement is the shared blob placement; a dot adds its paint and a
    // coverage strength from about 0.4 (farthest) to 1 (nearest).
    const BlobView view = brushView(FrameShape{64, 48, 4}, kNoRotation, 0.0f, 64.0f);
    BrushDot nearDot, farDot;
    ASSERT_TRUE(placeDot(particleAt(0, 0, 40, 100, 90, 80), view, nearDot));
    EXPECT_EQ(nearDot.blob.weight, 65536);
    EXPECT_EQ(nearDot.blob.size, 10);  // D = 0: the smallest dot
    EXPECT_EQ(nearDot.colour[0], 100);
    EXPECT_EQ(nearDot.colour[2], 80);
    ASSERT_TRUE(placeDot(particleAt(0, 0, -1000, 100, 100, 100), view, farDot));
    EXPECT_EQ(farDot.blob.weight, 25936);
}

TEST(BrushDriftDots, KernelIsSpreadOverTheDot) {
    Scene scene(40, 20, 4);
    // Weight = kernel column, so at full strength the coverage shows which
    // column each pixel sampled.
    scene.fillKernel([](int, int u) { return u; });
    placeDot(particleAt(-10, 0, 40, 1, 1, 1), brushView(scene.shape, kNoRotation, 0.0f, 40.0f), scene.members.dots[0]);
    placeDot(particleAt(5, 0, 40, 1, 1, 1), brushView(scene.shape, kNoRotation, 11.0f, 40.0f), scene.members.dots[1]);
    stampDots(scene.members, scene.shape, 2);
    EXPECT_EQ(scene.coverage(5, 10), 0);     // column 0 of the kernel adds nothing
    EXPECT_EQ(scene.coverage(6, 10), 25);    // (1 x 1677721) >> 16
    EXPECT_EQ(scene.coverage(14, 10), 230);  // an even dot reaches almost the far edge
    EXPECT_EQ(scene.coverage(15, 10), 0);    // outside the dot
    EXPECT_EQ(scene.coverage(29, 10), 209);  // 11 pixels wide: only 10 covered, stops at 209
    EXPECT_EQ(scene.coverage(30, 10), 0);
    EXPECT_EQ(scene.coverage(14, 4), 0);  // rows 5..14 only
    EXPECT_EQ(scene.coverage(14, 5), 230);
    EXPECT_EQ(scene.coverage(14, 15), 0);
}

TEST(BrushDriftDots, ClippedDotShowsMatchingPartOfProfile) {
    Scene scene(20, 20, 4);
    scene.fillKernel([](int, int u) { return u; });
    placeDot(particleAt(-12, 0, 40, 1, 1, 1), brushView(scene.shape, kNoRotation, 0.0f, 40.0f), scene.members.dots[0]);
    stampDots(scene.members, scene.shape, 1);
    EXPECT_EQ(scene.coverage(0, 10), (7 * (16777216 / 10)) >> 16);  // columns -7..-1 are cut off
    EXPECT_EQ(scene.coverage(2, 10), 230);
}

TEST(BrushDriftDots, PaintLerpAndCoverage) {
    Scene scene(20, 20, 4);
    scene.fillKernel([](int, int) { return 255; });
    std::fill(scene.members.canvas.begin(), scene.members.canvas.end(), 0);
    scene.members.particlePos[0] = particleAt(0, 0, 40, 200, 100, 64);
    scene.members.particlePos[1] = particleAt(0, 0, 40, 200, 100, 64);
    paintDots(scene.members, scene.shape, 1, kNoRotation, 0.0f, 20.0f);
    EXPECT_EQ(scene.canvas(10, 10)[0], 199);  // 0 + floor(200 x 255 / 256)
    EXPECT_EQ(scene.coverage(10, 10), 255);
    paintDots(scene.members, scene.shape, 2, kNoRotation, 0.0f, 20.0f);
    EXPECT_EQ(scene.canvas(10, 10)[0], 199);  // 199 + floor(1 x 255 / 256)
    EXPECT_EQ(scene.canvas(10, 10)[3], 0);    // alpha is never painted
    EXPECT_EQ(scene.coverage(10, 10), 255);   // saturated

    scene.fillKernel([](int, int) { return 1; });
    std::memset(scene.canvas(10, 10), 200, 3);
    scene.coverage(10, 10) = 0;
    scene.members.particlePos[0] = particleAt(0, 0, -1000, 100, 100, 100);  // t = 0.01
    paintDots(scene.members, scene.shape, 1, kNoRotation, 0.0f, 20.0f);
    const uint8_t lerped[3] = {199, 199, 199};  // towards 100 by weight 1: floor(-100 / 256) = -1
    EXPECT_EQ(0, std::memcmp(scene.canvas(10, 10), lerped, 3));
    EXPECT_EQ(scene.coverage(10, 10), 0);  // (1 x 25936) >> 16
}

TEST(BrushDriftDots, LaterDotsPaintOverEarlierOnesForAnyThreadCount) {
    Scene scene(64, 64, 4);
    auto paintTwo = [&](int first, int second, int threads) {
        std::fill(scene.members.canvas.begin(), scene.members.canvas.end(), 0);
        std::memset(scene.members.coverageMap.data(), 0, scene.members.coverageMap.size());
        scene.members.particlePos[0] = particleAt(-3, -5, 10, first, first, first);
        scene.members.particlePos[1] = particleAt(4, 6, 0, second, second, second);
        const int saved = omp_get_max_threads();
        omp_set_num_threads(threads);
        paintDots(scene.members, scene.shape, 2, viewRotation(0.3f, -0.2f, 0.1f), 48.0f, 76.8f);
        omp_set_num_threads(saved);
        return scene.members.canvas;
    };
    const std::vector<uint8_t> oneThenTwo = paintTwo(250, 70, 1);
    EXPECT_NE(oneThenTwo, paintTwo(70, 250, 1));
    EXPECT_EQ(oneThenTwo, paintTwo(250, 70, 2));
    EXPECT_EQ(oneThenTwo, paintTwo(250, 70, 3));
    EXPECT_EQ(oneThenTwo, paintTwo(250, 70, 7));
}

// Every instruction-set path paints a span exactly as the portable loop
// does: dots wider than the kernel (one load and a permutation), up to twice
// narrower (two loads) and narrower still (gathers), spans that end inside
// a vector, and full strength, on random canvases and profiles.
TEST(BrushDriftDots, EveryPathPaintsSpansAsThePortableOne) {
    std::vector<int32_t> kernel(256);
    std::mt19937 random(7);
    for (int32_t& k : kernel) k = int32_t(random() % 256);
    kernel[17] = 0;
    kernel[255] = 255;
    const auto paintWith = [&](auto kernelFn, const std::vector<uint8_t>& canvas, const std::vector<uint8_t>& coverage,
                               int count, int32_t u, int32_t step, int32_t strength) {
        std::vector<uint8_t> c = canvas, cov = coverage;
        kernelFn(c.data(), cov.data(), kernel.data(), count, u, step, 250, 3, 128, strength);
        c.insert(c.end(), cov.begin(), cov.end());
        return c;
    };
    int checked = 0;
    for (const int size : {10, 37, 127, 128, 129, 255, 256, 257, 700, 1280, 3000}) {
        const int32_t step = 16777216 / size;
        for (const int first : {0, 1, size / 3, size - 9}) {
            for (const int count : {1, 7, 8, 9, 15, 16, 17, 33, size - first}) {
                if (first < 0 || first + count > size) continue;
                std::vector<uint8_t> canvas(static_cast<size_t>(count) * 4), coverage(static_cast<size_t>(count));
                for (uint8_t& b : canvas) b = uint8_t(random());
                for (uint8_t& b : coverage) b = uint8_t(random() % 3 == 0 ? 250 : random());
                for (const int32_t strength : {25936, 40000, 65535, 65536}) {
                    const auto want =
                        paintWith(paintDotSpan_portable, canvas, coverage, count, first * step, step, strength);
                    if (bestIsa() >= Isa::Avx2) {
                        EXPECT_EQ(want,
                                  paintWith(paintDotSpan_avx2, canvas, coverage, count, first * step, step, strength))
                            << "AVX2, size " << size << " from " << first << " count " << count;
                    }
                    if (bestIsa() >= Isa::Avx512) {
                        EXPECT_EQ(want,
                                  paintWith(paintDotSpan_avx512, canvas, coverage, count, first * step, step, strength))
                            << "AVX-512, size " << size << " from " << first << " count " << count;
                    }
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 300);
}

// ----------------------------------------------------------------- coverage

TEST(BrushDriftCoverage, WeightsPaintAndChoosesAlpha) {
    Scene four(2, 1, 4), three(2, 1, 3);
    const uint8_t input[8] = {0, 0, 0, 33, 0, 0, 0, 44};
    for (Scene* s : {&four, &three}) {
        const uint8_t cell[4] = {200, 100, 10, 128};
        std::memcpy(s->canvas(0, 0), cell, 4);
        std::memcpy(s->canvas(1, 0), cell, 4);
        s->coverage(0, 0) = 255;
        s->coverage(1, 0) = 0;
    }
    composeCoverage(three.members, three.shape, 1, nullptr);
    const uint8_t expect3[6] = {199, 99, 9, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(three.members.workFrame.data(), expect3, 6));
    const uint8_t expect4[3][8] = {{199, 99, 9, 255, 0, 0, 0, 255},  // m = 0: opaque
                                   {199, 99, 9, 127, 0, 0, 0, 0},    // m = 1: alpha weighted too
                                   {199, 99, 9, 33, 0, 0, 0, 44}};   // m = 2: the input's alpha
    for (int m = 0; m < 3; ++m) {
        composeCoverage(four.members, four.shape, m, input);
        EXPECT_EQ(0, std::memcmp(four.members.workFrame.data(), expect4[m], 8)) << "m = " << m;
    }
}

// Every instruction-set path weights the canvas as the portable loop does,
// for each alpha mode and depth, over pixel ranges that start and end
// inside a vector.
TEST(BrushDriftCoverage, EveryPathWeightsAsThePortableOne) {
    std::mt19937 random(5);
    const size_t pixels = 45;
    std::vector<uint8_t> canvas(pixels * 4), coverage(pixels), input(pixels * 4);
    for (uint8_t& b : canvas) b = uint8_t(random());
    for (uint8_t& b : coverage) b = uint8_t(random());
    for (uint8_t& b : input) b = uint8_t(random());
    coverage[3] = 255;
    coverage[4] = 0;
    for (const int bytesPerPixel : {3, 4})
        for (const int alphaMode : {0, 1, 2})
            for (const auto& range : {std::pair<int, int>{0, 45}, {3, 40}, {5, 12}, {9, 9}}) {
                const auto weightWith = [&](auto kernel) {
                    std::vector<uint8_t> work(pixels * size_t(bytesPerPixel), 7);
                    kernel(work.data(), canvas.data(), coverage.data(), input.data(), bytesPerPixel, alphaMode,
                           range.first, range.second);
                    return work;
                };
                const std::vector<uint8_t> want = weightWith(weightByCoverage_portable);
                if (bestIsa() >= Isa::Avx2) {
                    EXPECT_EQ(want, weightWith(weightByCoverage_avx2)) << bytesPerPixel << " m " << alphaMode;
                }
                if (bestIsa() >= Isa::Avx512) {
                    EXPECT_EQ(want, weightWith(weightByCoverage_avx512)) << bytesPerPixel << " m " << alphaMode;
                }
            }
}

// -------------------------------------------------------------------- swirl

// Every pixel has brightness 100 and a unique byte 0 (x + 16 y), so a
// swirled pixel shows where it was fetched from.
void fillSwirlPicture(Scene& scene) {
    for (int y = 0; y < scene.shape.height; ++y)
        for (int x = 0; x < scene.shape.width; ++x) {
            uint8_t* p = scene.work(x, y);
            p[0] = uint8_t(x + 16 * y);
            p[1] = 150;
            p[2] = uint8_t(150 - p[0]);
            if (scene.shape.bytesPerPixel == 4) p[3] = uint8_t(x);
        }
}

struct Fetch {
    int x, y;
};

Fetch fetchedFrom(Scene& scene, const std::vector<uint8_t>& out, int x, int y) {
    const uint8_t b0 = out[(size_t(y) * scene.shape.width + x) * scene.shape.bytesPerPixel];
    return {b0 % 16, b0 / 16};
}

TEST(BrushDriftSwirl, BandSelectsAndZoomRotates) {
    Scene scene(16, 8, 4);
    fillSwirlPicture(scene);
    std::vector<uint8_t> out(scene.members.workFrame.size());
    // Outside the band: copied.
    swirlValueBand(scene.members, scene.shape, out.data(), {140, 39, 1024, 16384});
    EXPECT_EQ(out, scene.members.workFrame);
    // Z = 256 at R = 128 (q = 512): unscaled; rotation 0 fetches itself.
    swirlValueBand(scene.members, scene.shape, out.data(), {100, 128, 256, 0});
    EXPECT_EQ(out, scene.members.workFrame);
    // A quarter turn: (x, y) fetches (cx - dy, cy + dx), all 4 bytes.
    swirlValueBand(scene.members, scene.shape, out.data(), {100, 128, 256, 16384});
    EXPECT_EQ(fetchedFrom(scene, out, 9, 5).x, 7);
    EXPECT_EQ(fetchedFrom(scene, out, 9, 5).y, 5);
    EXPECT_EQ(out[(5 * 16 + 9) * 4 + 3], 7);
    // Z = 0: every selected pixel takes the centre pixel (8, 4).
    swirlValueBand(scene.members, scene.shape, out.data(), {100, 128, 0, 4000});
    for (int p = 0; p < 16 * 8; ++p) EXPECT_EQ(out[size_t(p) * 4], 8 + 16 * 4);
    // R = 100 (q = 655): f = 255 at the band centre, so offset 6 fetches 5.
    swirlValueBand(scene.members, scene.shape, out.data(), {100, 100, 256, 0});
    EXPECT_EQ(fetchedFrom(scene, out, 14, 4).x, 13);
    // Brightness 101 at R = 1: d = 1 gives f = 0, the centre pixel.
    scene.work(3, 3)[1] = 153;
    swirlValueBand(scene.members, scene.shape, out.data(), {102, 1, 1024, 0});
    EXPECT_EQ(fetchedFrom(scene, out, 3, 3).x, 8);
    EXPECT_EQ(fetchedFrom(scene, out, 3, 3).y, 4);
    EXPECT_EQ(fetchedFrom(scene, out, 5, 3).x, 5);  // brightness 100: d = 2, outside
}

TEST(BrushDriftSwirl, FetchWrapsRoundTheEdges) {
    Scene scene(16, 8, 3);
    fillSwirlPicture(scene);
    std::vector<uint8_t> out(scene.members.workFrame.size());
    // Z = 1024: offsets are magnified four times, u = 8 + 4 (x - 8).
    swirlValueBand(scene.members, scene.shape, out.data(), {100, 128, 1024, 0});
    EXPECT_EQ(fetchedFrom(scene, out, 7, 4).x, 4);
    EXPECT_EQ(fetchedFrom(scene, out, 5, 4).x, 12);  // u = -4
    EXPECT_EQ(fetchedFrom(scene, out, 0, 4).x, 8);   // u = -24
    EXPECT_EQ(fetchedFrom(scene, out, 15, 4).x, 4);  // u = 36
    EXPECT_EQ(fetchedFrom(scene, out, 8, 5).y, 0);   // v = 8 = H
    EXPECT_EQ(fetchedFrom(scene, out, 8, 3).y, 0);   // v = 0
    EXPECT_EQ(fetchedFrom(scene, out, 8, 1).y, 0);   // v = -8
    EXPECT_EQ(fetchedFrom(scene, out, 8, 2).y, 4);   // v = -4
}

TEST(BrushDriftSwirl, WideFramesFetchWithoutOverflow) {
    // x - cx = 9999 magnified four times and turned a quarter: the 16.16
    // products pass 2^31, the fetch must still be exact.
    Scene scene(20000, 2, 3);
    std::memset(scene.work(19999, 0), 200, 3);  // the one pixel in the band
    const uint8_t marker[3] = {1, 2, 3};
    std::memcpy(scene.work(10004, 1), marker, 3);
    std::vector<uint8_t> out(scene.members.workFrame.size());
    swirlValueBand(scene.members, scene.shape, out.data(), {200, 1, 1024, 16384});
    EXPECT_EQ(0, std::memcmp(&out[19999 * 3], marker, 3));  // u = 10004, v = 1 + 39996 wraps to 1
}

// ---------------------------------------------------------------- compositing

// Every instruction-set path swirls each row as the portable loop does:
// rows that end inside a vector, bands narrow and wide, zooms that fetch
// from several frames away (wrapping more than twice), turns, 3-byte
// pixels.
TEST(BrushDriftSwirl, EveryPathSwirlsRowsAsThePortableOne) {
    std::mt19937 random(11);
    std::vector<int32_t> third(768);
    for (int i = 0; i < 768; ++i) third[size_t(i)] = i / 3;
    int checked = 0;
    for (const auto& size : {std::pair<int, int>{37, 23}, {64, 9}, {5, 70}, {8, 8}}) {
        const int w = size.first, h = size.second;
        for (const int bytesPerPixel : {4, 3}) {
            std::vector<uint8_t> work(size_t(w) * size_t(h) * size_t(bytesPerPixel));
            for (uint8_t& b : work) b = uint8_t(random());
            for (const int zoom : {0, 102, 256, 1024}) {
                for (const int range : {1, 40, 255}) {
                    for (const int centre : {0, 130}) {
                        for (const int32_t turn : {0, 16384, 40000}) {
                            const double a = double(turn) * 2.0 * kPi / 65536.0;
                            const int32_t sn = int32_t(std::sin(a) * 65536.0), cs = int32_t(std::cos(a) * 65536.0);
                            const int32_t zq = zoom * (65536 / range);
                            const auto swirlWith = [&](auto rowFn) {
                                std::vector<uint8_t> out(work.size());
                                for (int y = 0; y < h; ++y)
                                    rowFn(work.data(), out.data() + size_t(y) * size_t(w) * size_t(bytesPerPixel), w, h,
                                          y, bytesPerPixel, third.data(), centre, range, zq, range * zq, sn, cs);
                                return out;
                            };
                            const std::vector<uint8_t> want = swirlWith(swirlRow_portable);
                            if (bestIsa() >= Isa::Avx2) {
                                EXPECT_EQ(want, swirlWith(swirlRow_avx2))
                                    << "AVX2, " << w << "x" << h << "x" << bytesPerPixel << " zoom " << zoom;
                            }
                            if (bestIsa() >= Isa::Avx512) {
                                EXPECT_EQ(want, swirlWith(swirlRow_avx512))
                                    << "AVX-512, " << w << "x" << h << "x" << bytesPerPixel << " zoom " << zoom;
                            }
                            ++checked;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 4 * 2 * 4 * 3 * 2 * 3);
}

TEST(BrushDriftComposite, RoundsExactlyToNearest) {
    // Every (first, second) byte pair for every weight, against a double
    // reference: rounding must never go the wrong way.
    std::vector<uint8_t> first(65536 * 4), second(65536 * 4), dest(65536 * 4);
    std::vector<uint8_t> first3(65536 * 3), second3(65536 * 3), dest3(65536 * 3);
    for (int i = 0; i < 65536; ++i) {
        for (int j = 0; j < 4; ++j)
            first[size_t(i) * 4 + j] = uint8_t(i & 255), second[size_t(i) * 4 + j] = uint8_t(i >> 8);
        for (int j = 0; j < 3; ++j)
            first3[size_t(i) * 3 + j] = uint8_t(i & 255), second3[size_t(i) * 3 + j] = uint8_t(i >> 8);
    }
    int wrong = 0;
    for (int a = 0; a < 256; ++a) {
        std::fill(dest.begin(), dest.end(), 7);
        compositeConstAlpha(first.data(), 255 - a, second.data(), a, dest.data(), 256, 256, 4);
        compositeConstAlpha(first3.data(), 255 - a, second3.data(), a, dest3.data(), 256, 256, 3);
        for (int i = 0; i < 65536; ++i) {
            const double x = i & 255, y = i >> 8;
            const long plus = std::lround(((255 - a) * x + a * y) / 255.0);
            const long over = std::lround(((255 - a) * x + (a * double(a) / 255.0) * y) / 255.0);
            wrong += dest[size_t(i) * 4] != plus || dest[size_t(i) * 4 + 2] != plus || dest[size_t(i) * 4 + 3] != 7;
            wrong += dest3[size_t(i) * 3] != over || dest3[size_t(i) * 3 + 2] != over;
        }
    }
    EXPECT_EQ(wrong, 0);
    const uint8_t white[4] = {255, 255, 255, 255};
    uint8_t out[4] = {0, 0, 0, 0};
    compositeConstAlpha(white, 128, white, 127, out, 1, 1, 4);
    EXPECT_EQ(out[0], 255);
    // Weights adding up to more than 255 saturate.
    compositeConstAlpha(white, 255, white, 255, out, 1, 1, 4);
    EXPECT_EQ(out[2], 255);
    const uint8_t dim[4] = {100, 10, 0, 0}, mid[4] = {200, 20, 0, 0};
    compositeConstAlpha(dim, 200, mid, 200, out, 1, 1, 4);
    EXPECT_EQ(out[0], 235);  // round(60000 / 255) = round(235.29)
    EXPECT_EQ(out[1], 24);   // round(6000 / 255) = round(23.53)
    EXPECT_EQ(out[3], 0);    // the alpha byte is the destination's own
}

TEST(BrushDriftFeedback, BlendsWithThePreviousOutput) {
    Scene four(1, 1, 4), three(1, 1, 3);
    uint8_t out4[4] = {200, 100, 0, 90};
    blendFeedback(four.members, four.shape, out4, 0, 1);  // a = 0: the new picture, kept
    const uint8_t kept[4] = {200, 100, 0, 90};
    EXPECT_EQ(0, std::memcmp(out4, kept, 4));
    EXPECT_EQ(0, std::memcmp(four.members.feedbackFrame.data(), kept, 4));
    uint8_t next[4] = {0, 0, 0, 10};
    blendFeedback(four.members, four.shape, next, 255, 1);  // a = 255: only the previous colours
    const uint8_t previous[4] = {200, 100, 0, 10};
    EXPECT_EQ(0, std::memcmp(next, previous, 4));
    uint8_t opaque[4] = {50, 50, 50, 10};
    blendFeedback(four.members, four.shape, opaque, 127, 2);
    EXPECT_EQ(opaque[3], 255);
    EXPECT_EQ(opaque[0], 125);  // round((128 x 50 + 127 x 200) / 255)

    // 3 bytes, 'over' at the default weight: a still white picture settles
    // at about two thirds.
    uint8_t px[3] = {0, 0, 0};
    for (int f = 0; f < 40; ++f) {
        px[0] = px[1] = px[2] = 255;
        blendFeedback(three.members, three.shape, px, 127, 1);
    }
    EXPECT_EQ(px[0], 170);
    EXPECT_EQ(three.members.feedbackFrame[0], 170);
}

// Every instruction-set path blends a row with the trail as the portable
// loop does, for rows that end inside a vector, either alpha and any weight.
TEST(BrushDriftFeedback, EveryPathBlendsRowsAsThePortableOne) {
    std::mt19937 random(3);
    for (const int count : {1, 8, 45})
        for (const int feedback : {0, 1, 128, 254, 255})
            for (const bool opaque : {false, true}) {
                std::vector<uint8_t> out(size_t(count) * 4), trail(size_t(count) * 4);
                for (uint8_t& b : out) b = uint8_t(random());
                for (uint8_t& b : trail) b = uint8_t(random());
                const auto blendWith = [&](auto kernel) {
                    std::vector<uint8_t> o = out, t = trail;
                    kernel(o.data(), t.data(), count, feedback, opaque);
                    o.insert(o.end(), t.begin(), t.end());
                    return o;
                };
                const std::vector<uint8_t> want = blendWith(blendTrailRow_portable);
                if (bestIsa() >= Isa::Avx2) {
                    EXPECT_EQ(want, blendWith(blendTrailRow_avx2)) << count << " a " << feedback;
                }
                if (bestIsa() >= Isa::Avx512) {
                    EXPECT_EQ(want, blendWith(blendTrailRow_avx512)) << count << " a " << feedback;
                }
            }
}

// ------------------------------------------------------------ the plug-in

using vyrtest::samePicture;
using vyrtest::texturedPicture;

struct BrushDriftPlugin : ::testing::Test {
    vyrtest::PluginLibrary lib{"VyrBrushDrift1"};

    // Frames of a fresh instance (rand() from srand(1)), each rendered in place.
    std::vector<std::vector<uint8_t>> frames(uint32_t w, uint32_t h, uint32_t depth, const vyrtest::Settings& params,
                                             int count, unsigned inputSeed = 1) {
        std::srand(1);
        vyrtest::Instance inst(lib, w, h, depth);
        inst.set(params);
        std::vector<std::vector<uint8_t>> out;
        for (int f = 0; f < count; ++f) {
            std::vector<uint8_t> frame = texturedPicture(inst, inputSeed + unsigned(f));
            EXPECT_EQ(inst.processFrame(frame), 0u);
            out.push_back(frame);
        }
        return out;
    }
};

TEST_F(BrushDriftPlugin, DefaultsIgnoreTheInputAndDrawDots) {
    const auto a = frames(96, 64, ff::kDepth32, {}, 3, 1);
    const auto b = frames(96, 64, ff::kDepth32, {}, 3, 50);
    EXPECT_EQ(a, b);
    EXPECT_NE(a[0], std::vector<uint8_t>(a[0].size(), 0));
    EXPECT_NE(a[1], a[2]);  // the swarm moves
    // "Displacement" drives nothing.
    EXPECT_EQ(a, frames(96, 64, ff::kDepth32, {{"Displacement", 0.0f}}, 3, 1));
    EXPECT_NE(a, frames(96, 64, ff::kDepth32, {{"Blend Input", 0.5f}}, 3, 1));
}

TEST_F(BrushDriftPlugin, FeedbackWeights) {
    const auto none = frames(64, 48, ff::kDepth32, {{"Feedback", 0.0f}}, 1);
    const auto half = frames(64, 48, ff::kDepth32, {}, 1);
    const auto full = frames(64, 48, ff::kDepth32, {{"Feedback", 1.0f}}, 3);
    for (size_t i = 0; i < none[0].size(); ++i) {
        if (i % 4 == 3) {
            ASSERT_EQ(half[0][i], none[0][i]);
            ASSERT_EQ(full[0][i], none[0][i]);  // the new picture's alpha
        } else {
            ASSERT_EQ(half[0][i], (128 * none[0][i] + 127) / 255) << i;  // the first frame starts from black
            ASSERT_EQ(full[0][i], 0);
            ASSERT_EQ(full[2][i], 0);
        }
    }
}

TEST_F(BrushDriftPlugin, AlphaModeOneIsOpaque) {
    const auto out = frames(64, 48, ff::kDepth32, {{"Alpha Mode", 1.0f}, {"Blend Input", 0.2f}}, 2);
    for (const auto& frame : out)
        for (size_t i = 3; i < frame.size(); i += 4) ASSERT_EQ(frame[i], 255);
}

TEST_F(BrushDriftPlugin, ThreeBytePixelsMatchTheColourBytesWithoutFeedback) {
    const vyrtest::Settings params = {
        {"Feedback", 0.0f}, {"Blend Input", 1.0f / 255.0f}, {"Source Zoom", 0.6f}, {"Source Rotation", 0.4f}};
    // Both instances seed the same swarm and get the same colour bytes.
    vyrtest::Instance i4(lib, 90, 50, ff::kDepth32);
    vyrtest::Instance i3(lib, 90, 50, ff::kDepth24);
    i4.set(params);
    i3.set(params);
    std::vector<uint8_t> f4 = texturedPicture(90, 50, 4, 3), f3(90 * 50 * 3);
    for (size_t p = 0; p < 90 * 50; ++p) std::memcpy(&f3[p * 3], &f4[p * 4], 3);
    std::srand(1);
    ASSERT_EQ(i4.processFrame(f4), 0u);
    std::srand(1);
    ASSERT_EQ(i3.processFrame(f3), 0u);
    size_t lit = 0;
    for (size_t p = 0; p < 90 * 50; ++p) {
        ASSERT_EQ(0, std::memcmp(&f3[p * 3], &f4[p * 4], 3)) << p;
        lit += f3[p * 3] != 0;
    }
    EXPECT_GT(lit, 0u);
}

TEST_F(BrushDriftPlugin, InPlaceCopyAndMultiFrameAgree) {
    const uint32_t w = 72, h = 40;
    const vyrtest::Settings params = {
        {"Blend Input", 0.6f}, {"Alpha Mode", 1.0f}, {"Source Val", 0.3f}, {"Feedback", 0.2f}};
    const auto inPlace = frames(w, h, ff::kDepth32, params, 3);

    vyrtest::Instance copy(lib, w, h, ff::kDepth32);
    vyrtest::Instance multi(lib, w, h, ff::kDepth32);
    copy.set(params);
    multi.set(params);
    for (int f = 0; f < 3; ++f) {
        const std::vector<uint8_t> input = texturedPicture(w, h, 4, 1 + unsigned(f));
        std::vector<uint8_t> out(input.size(), 99);
        // Each instance draws rand() only when its first frame seeds.
        if (f == 0) std::srand(1);
        ASSERT_EQ(copy.processFrameCopy({input.data()}, out), 0u);
        EXPECT_TRUE(samePicture(out, inPlace[size_t(f)])) << "frame " << f;

        // Code 16 with input and output slot 0 sharing one buffer.
        std::vector<uint8_t> shared = input;
        FrameImageStruct slot = {ff::kFormatPacked8, 4, shared.data(), int32_t(w), int32_t(h), nullptr, 0, 0};
        FrameMultiStruct record = {};
        record.numInputs = record.numOutputs = 1;
        record.inputs[0] = record.outputs[0] = &slot;
        if (f == 0) std::srand(1);
        ASSERT_EQ(multi.processFrameMulti(&record), 0u);
        EXPECT_TRUE(samePicture(shared, inPlace[size_t(f)])) << "frame " << f;
    }
}

TEST_F(BrushDriftPlugin, MultiFrameSlotOfAnotherPixelSizeIsRefused) {
    vyrtest::Instance inst(lib, 32, 16, ff::kDepth32);
    std::vector<uint8_t> in(32 * 16 * 3, 5), out(32 * 16 * 3, 6);
    FrameImageStruct inSlot = {ff::kFormatPacked8, 3, in.data(), 32, 16, nullptr, 0, 0};
    FrameImageStruct outSlot = {ff::kFormatPacked8, 3, out.data(), 32, 16, nullptr, 0, 0};
    FrameMultiStruct record = {};
    record.numInputs = record.numOutputs = 1;
    record.inputs[0] = &inSlot;
    record.outputs[0] = &outSlot;
    vyrtest::StderrCapture capture;
    EXPECT_EQ(inst.processFrameMulti(&record), 0xFFFFFFFFu);
    EXPECT_NE(capture.text().find("Vyr_Multi: Error: No valid input data present"), std::string::npos);
    EXPECT_TRUE(vyrtest::everyByteIs(out, 6));
}

}  // namespace
