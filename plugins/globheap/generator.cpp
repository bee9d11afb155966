// VyrGlobHeap1: a spinning mass of soft blobs around 16 attractors, drawn as
// a grey density picture with optional film grain.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "plug_obj.h"

namespace {

enum Param {
    kDotScale,
    kSpeed,
    kNumParticles,
    kNoiseLevel,
    kAngleAnim,
    kAngleX,
    kAngleY,
    kAngleZ,
    kOriginX,
    kOriginY,
    kOriginZ,  // accepted and stored; the projection is orthographic
    kTransX,
    kTransY,
    kTransZ,
};

constexpr double kTwoPi = 2.0 * 3.14159265358979323846;
// Spin per frame for each unit of (Angle Anim - 0.5): 2 pi / 50, so at most
// a hundredth of a turn per frame either way.
constexpr double kSpinPerFrame = 0.12566370614359174;
constexpr int kGrainWindow = 10000;  // spare noise bytes beyond w*h
// Below this many pixels a team of threads costs more than the frame.
constexpr size_t kParallelPixelsMinimum = 16384;

const ParticleConfig kParticles = {
    256,    // particle slots
    16,     // attractor slots
    false,  // profile peaks at 320
    false,  // no fourth position component
    false,  // no colour words
    true,   // grain table
    false,  // no trigonometry tables
    ModeFlavour::GlobHeap,
    {paramTable, kSpeed, kNumParticles},
};

void advanceSpin(PlugObj& obj) {
    const double t = double(obj.spinAngle) + (double(obj.param(kAngleAnim)) - 0.5) * kSpinPerFrame;
    float ft = float(t);
    if (double(ft) >= kTwoPi) ft = float(double(ft) - kTwoPi);
    if (ft < 0.0f) ft = float(double(ft) + kTwoPi);
    obj.spinAngle = ft;
}

SceneView makeView(const PlugObj& obj, float S, float K) {
    const ModeRecord& mode = *obj.activeMode;
    SceneView view;
    view.w = obj.width();
    view.h = obj.height();
    view.sceneSpan = S;
    view.D = (mode.sizeGain * obj.param(kDotScale) + mode.sizeBias) * K;
    view.oX = (obj.param(kOriginX) - 0.5f) * (2.0f * S);
    view.oY = (obj.param(kOriginY) - 0.5f) * (2.0f * S);
    view.tX = (obj.param(kTransX) - 0.5f) * (0.02f * S);
    view.tY = (obj.param(kTransY) - 0.5f) * (0.02f * S);
    view.tZ = (obj.param(kTransZ) - 0.5f) * (0.02f * S);
    const float ax = angleFromParam(obj.param(kAngleX)) + obj.spinAngle;
    const float ay = angleFromParam(obj.param(kAngleY)) + obj.spinAngle;
    const float az = angleFromParam(obj.param(kAngleZ)) + obj.spinAngle;
    view.sX = std::sin(ax);
    view.cX = std::cos(ax);
    view.sY = std::sin(ay);
    view.cY = std::cos(ay);
    view.sZ = std::sin(az);
    view.cZ = std::cos(az);
    return view;
}

void moveParticles(PlugObj& obj, float S, float K) {
    const ModeRecord& mode = *obj.activeMode;
    const float speed = (mode.speedGain * obj.param(kSpeed) + mode.speedBias) * K;
    const int count = int(float(mode.countGain) * obj.param(kNumParticles) + 10.0f);
    obj.particleCount = std::clamp(count, 1, kParticles.particleCapacity);
    if (!obj.particlesSeeded)
        seedParticles(obj, S);  // the fresh cloud is drawn where it was placed
    else
        stepParticles(obj, K, S, speed);
}

// Stamps and shades row by row: each thread owns whole rows and adds every
// blob into them, so no counter is shared between threads and the picture
// does not depend on the thread count. Bands of 16 rows dealt out in turn
// keep the threads evenly loaded where blobs crowd one part of the frame.
void drawPicture(PlugObj& obj, uint8_t* pixels, int B, int noiseAmount, int noiseOffset) {
    const int w = obj.width();
    const int h = obj.height();
    const BlobPlacement* blobs = obj.blobs.data();
    const int blobCount = obj.blobCount;
    const int32_t* kernel = obj.blobKernel.data();
    const KernelRowSpan* spans = obj.kernelSpans;
    int32_t* counters = obj.accumBuffer.data();
    const uint8_t* noise = obj.noiseBytes.data() + noiseOffset;
    const bool worthThreads = size_t(w) * size_t(h) >= kParallelPixelsMinimum;
#pragma omp parallel for schedule(static, 16) if (worthThreads)
    for (int y = 0; y < h; ++y) {
        const size_t row = size_t(y) * size_t(w);
        stampRow(y, blobs, blobCount, kernel, spans, counters + row, w);
        shadeRow(counters + row, noise + row, noiseAmount, pixels + row * size_t(B), w, B);
    }
}

}  // namespace

void createScene(PlugObj& obj) {
    createParticleField(obj, kParticles, obj.width(), obj.height());
    findKernelSpans(obj.blobKernel.data(), obj.kernelSpans);
    obj.blobs.resize(size_t(kParticles.particleCapacity));
    obj.blobCount = 0;
    obj.spinAngle = 0.0f;
}

int renderFrame(PlugObj& obj, const FrameMultiStruct& frame) {
    const int w = obj.width();
    const int h = obj.height();
    const int B = frame.inputs[0]->bytesPerPixel;
    // A source: the host's picture is not used.
    std::memset(frame.inputs[0]->pixels, 0, size_t(w) * size_t(B) * size_t(h));

    const float sceneSpan = 1.2f * float(std::max(w, h));  // the cloud overfills the frame by a fifth
    const float frameScale = float(w + h) / 672.0f;
    advanceSpin(obj);
    selectMode(obj, 0);
    moveParticles(obj, sceneSpan, frameScale);

    const SceneView view = makeView(obj, sceneSpan, frameScale);
    obj.blobCount = placeBlobs(obj.particlePos.data(), obj.particleCount, view, obj.blobs.data());

    const int noiseAmount = int(128.0f * obj.param(kNoiseLevel));
    const int noiseOffset = std::rand() % kGrainWindow;  // drawn every frame, grain or not
    drawPicture(obj, static_cast<uint8_t*>(frame.outputs[0]->pixels), B, noiseAmount, noiseOffset);
    return 0;
}
