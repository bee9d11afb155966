// VyrGlobHeap1: a spinning mass of soft blobs around 16 attractors, drawn as
// a grey density picture with optional film grain.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "grey_shade.h"
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
// 16.16 blob weight: half brightness at the far end of the cube, full at the near end.
constexpr BlobWeighting kBlobWeighting = {32768.0f, 32768};

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

BlobView makeView(const PlugObj& obj, float S, float K) {
    const ModeRecord& mode = *obj.activeMode;
    BlobView view;
    view.width = obj.width();
    view.height = obj.height();
    view.sceneSpan = S;
    view.blobSize = (mode.sizeGain * obj.param(kDotScale) + mode.sizeBias) * K;
    view.originX = (obj.param(kOriginX) - 0.5f) * (2.0f * S);
    view.originY = (obj.param(kOriginY) - 0.5f) * (2.0f * S);
    view.translateX = (obj.param(kTransX) - 0.5f) * (0.02f * S);
    view.translateY = (obj.param(kTransY) - 0.5f) * (0.02f * S);
    view.translateZ = (obj.param(kTransZ) - 0.5f) * (0.02f * S);
    view.rotation = viewRotation(angleFromParam(obj.param(kAngleX)) + obj.spinAngle,
                                 angleFromParam(obj.param(kAngleY)) + obj.spinAngle,
                                 angleFromParam(obj.param(kAngleZ)) + obj.spinAngle);
    view.weighting = kBlobWeighting;
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

// Each finished row of counters is shaded on the thread that stamped it,
// while it is still in cache.
void drawPicture(PlugObj& obj, uint8_t* pixels, int B, int noiseAmount, int noiseOffset) {
    const int w = obj.width();
    const uint8_t* noise = obj.noiseBytes.data() + noiseOffset;
    stampBlobRows(obj, obj.blobs.data(), obj.blobCount, w, obj.height(), [=](int y, const int32_t* counters) {
        const size_t row = size_t(y) * size_t(w);
        shadeRow(counters, noise + row, noiseAmount, pixels + row * size_t(B), w, B);
    });
}

}  // namespace

void createScene(PlugObj& obj) {
    createParticleField(obj, kParticles, obj.width(), obj.height());
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

    const BlobView view = makeView(obj, sceneSpan, frameScale);
    obj.blobCount = placeBlobs(obj.particlePos.data(), obj.particleCount, view, obj.blobs.data());

    const int noiseAmount = int(128.0f * obj.param(kNoiseLevel));
    const int noiseOffset = std::rand() % kGrainWindow;  // drawn every frame, grain or not
    drawPicture(obj, static_cast<uint8_t*>(frame.outputs[0]->pixels), B, noiseAmount, noiseOffset);
    return 0;
}
