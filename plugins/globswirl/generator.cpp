// VyrGlobSwirl1: a swarm of soft blobs swirling around eight attractors,
// their summed density coloured through one of six presets.
#include <cstdlib>

#include "field_colour.h"
#include "plug_obj.h"
#include "swirl_frame.h"

void createScene(PlugObj& obj) {
    createParticleField(obj, kSwirlField, obj.width(), obj.height(), obj.randomSource,
                        {paramTable, kSpeed, kNumParticles});
    obj.blobs.resize(kSwirlParticles);
    obj.blobCount = 0;
}

namespace {

SwirlFrame frameValues(const PlugObj& obj) {
    float param[kNumParams];
    obj.copyParams(param);
    return swirlFrameValues(param, obj.width(), obj.height(), *obj.activeMode);
}

}  // namespace

void advanceScene(PlugObj& obj) {
    // A change of "Mode" takes effect in this very frame.
    selectMode(obj, presetIndex(obj.param(kMode)));
    const SwirlFrame f = frameValues(obj);

    // Switching drawing off forgets the swarm; switching it on again seeds anew.
    if (!f.drawOn) obj.particlesSeeded = false;
    obj.particleCount = f.particleCount;
    if (f.drawOn) seedOrStep(obj, f.frameScale, f.sceneSpan, f.speed, obj.randomSource);
    obj.grainOffset = grainOffset(obj.randomSource);
}

int drawScene(PlugObj& obj, const FrameMultiStruct& frame) {
    const int width = obj.width();
    const int height = obj.height();
    // A source: the input picture is never read (the framework clears it
    // where its caller can see it).
    const SwirlFrame f = frameValues(obj);
    // With drawing off no blob is placed and the field is all zeros.
    obj.blobCount = f.drawOn ? placeBlobs(obj.particlePos.data(), f.particleCount, swirlBlobView(f, width, height),
                                          obj.blobs.data())
                             : 0;
    const FieldColouring colouring = {f.noiseAmount, obj.grainOffset, f.alphaOn};
    // Each finished row of counters is coloured on the thread that stamped
    // it, while it is still in cache.
    const FieldPalette palette(obj, colouring, frame.inputs[0]->bytesPerPixel);
    uint8_t* pixels = static_cast<uint8_t*>(frame.outputs[0]->pixels);
    stampBlobRows(obj, obj.blobs.data(), obj.blobCount, width, height,
                  [&](int y, const int32_t* counters) { palette.colourPixels(counters, y * width, width, pixels); });
    return 0;
}

void saveMotion(const PlugObj& obj, SceneMotion& motion) {
    saveParticleMotion(obj, motion.particles);
    motion.grainOffset = obj.grainOffset;
}

void restoreMotion(PlugObj& obj, const SceneMotion& motion) {
    restoreParticleMotion(obj, motion.particles);
    obj.grainOffset = motion.grainOffset;
}

void prepareTrail(PlugObj&, TrailStep) {}  // every picture is drawn from an empty field
