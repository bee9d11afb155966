// VyrGlobHeap1: a spinning mass of soft blobs around 16 attractors, drawn as
// a grey density picture with optional film grain.
#include <algorithm>
#include <cstdlib>

#include "grey_shade.h"
#include "heap_frame.h"
#include "plug_obj.h"

namespace {

constexpr double kTwoPi = 2.0 * kPi;
// 16.16 blob weight: half brightness at the far end of the cube, full at the near end.
constexpr BlobWeighting kBlobWeighting = {32768.0f, 32768};

void advanceSpin(PlugObj& obj, double spinStep) {
    const double t = double(obj.spinAngle) + spinStep;
    float ft = float(t);
    if (double(ft) >= kTwoPi) ft = float(double(ft) - kTwoPi);
    if (ft < 0.0f) ft = float(double(ft) + kTwoPi);
    obj.spinAngle = ft;
}

// Each finished row of counters (32- or 16-bit, as the path stamps them) is
// shaded on the thread that stamped it, while it is still in cache.
void drawPicture(PlugObj& obj, uint8_t* pixels, int bytesPerPixel, int noiseAmount, int noiseOffset) {
    const int w = obj.width();
    const uint8_t* noise = obj.noiseBytes.data() + noiseOffset;
    stampBlobRows(obj, obj.blobs.data(), obj.blobCount, w, obj.height(), [=](int y, const auto* counters) {
        const size_t row = size_t(y) * size_t(w);
        shadeRow(counters, noise + row, noiseAmount, pixels + row * size_t(bytesPerPixel), w, bytesPerPixel);
    });
}

}  // namespace

void createScene(PlugObj& obj) {
    createParticleField(obj, kHeapField, obj.width(), obj.height(), obj.randomSource,
                        {paramTable, kSpeed, kNumParticles});
    obj.blobs.resize(size_t(kHeapParticles));
    obj.blobCount = 0;
    obj.spinAngle = 0.0f;
}

namespace {

HeapFrame frameValues(const PlugObj& obj) {
    float param[kNumParams];
    obj.copyParams(param);
    return heapFrameValues(param, obj.width(), obj.height(), *obj.activeMode);
}

}  // namespace

void advanceScene(PlugObj& obj) {
    selectMode(obj, 0);
    const HeapFrame f = frameValues(obj);
    advanceSpin(obj, f.spinStep);
    obj.particleCount = f.particleCount;
    seedOrStep(obj, f.frameScale, f.sceneSpan, f.speed, obj.randomSource);
    obj.noiseOffset = grainOffset(obj.randomSource);
}

int drawScene(PlugObj& obj, const FrameMultiStruct& frame) {
    const int w = obj.width();
    const int h = obj.height();
    const int bytesPerPixel = frame.inputs[0]->bytesPerPixel;
    // A source: the input picture is never read (the framework clears it
    // where its caller can see it).
    const HeapFrame f = frameValues(obj);
    const float spin = obj.spinAngle;
    const BlobView view = blobView(w, h, f.sceneSpan, f.blobSize, f.shifts,
                                   viewRotation(f.angleX + spin, f.angleY + spin, f.angleZ + spin), kBlobWeighting);
    obj.blobCount = placeBlobs(obj.particlePos.data(), obj.particleCount, view, obj.blobs.data());
    drawPicture(obj, static_cast<uint8_t*>(frame.outputs[0]->pixels), bytesPerPixel, f.noiseAmount, obj.noiseOffset);
    return 0;
}

void saveMotion(const PlugObj& obj, SceneMotion& motion) {
    saveParticleMotion(obj, motion.particles);
    motion.spinAngle = obj.spinAngle;
    motion.noiseOffset = obj.noiseOffset;
}

void restoreMotion(PlugObj& obj, const SceneMotion& motion) {
    restoreParticleMotion(obj, motion.particles);
    obj.spinAngle = motion.spinAngle;
    obj.noiseOffset = motion.noiseOffset;
}

void prepareTrail(PlugObj&, TrailStep) {}  // every picture is drawn from black
