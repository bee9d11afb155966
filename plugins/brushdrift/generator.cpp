// VyrBrushDrift1: repaints the host's picture with a drifting swarm of
// coloured brush dots, swirls a brightness band and blends each output with
// the last one.
#include <algorithm>
#include <cstring>

#include "brush_stages.h"
#include "parallel_bands.h"
#include "plug_obj.h"

namespace {

// Rows per band of the two frame loops: a band of canvas, coverage and
// workFrame rows stays in cache from the fill to the weighting.
constexpr int kBandRows = 16;

}  // namespace

void createScene(PlugObj& obj) {
    const size_t pixels = static_cast<size_t>(obj.width()) * static_cast<size_t>(obj.height());
    obj.canvas.assign(pixels * 4, 0);
    obj.workFrame.assign(obj.frameBytes(), 0);
    obj.feedbackFrame.assign(obj.frameBytes(), 0);
    createParticleField(obj, kBrushField, obj.width(), obj.height(), obj.randomSource,
                        {paramTable, kParamSpeed, kParamNumParticles});
    buildSwirlTables(obj);
    obj.coverageMap.assign(pixels, 0);
    obj.dots.assign(kParticleCapacity, BrushDot{});
}

void advanceScene(PlugObj& obj) {
    const FrameGeometry geometry = frameGeometry(obj.width(), obj.height());
    selectMode(obj, 0);
    float params[kNumParams];
    obj.copyParams(params);
    const BrushSettings settings = deriveSettings(params, *obj.activeMode, geometry.frameScale);
    obj.particleCount = settings.particleCount;
    seedOrStep(obj, geometry.frameScale, geometry.sceneSpan, settings.speed, obj.randomSource);
}

int drawScene(PlugObj& obj, const FrameMultiStruct& frame) {
    const FrameImageStruct& inputSlot = *frame.inputs[0];
    const FrameImageStruct& outputSlot = *frame.outputs[0];
    // The framework has checked that the slots declare the instance's own
    // bytes per pixel, the size every scene buffer was made for.
    const FrameShape shape = {obj.width(), obj.height(), inputSlot.bytesPerPixel};
    const uint8_t* input = static_cast<const uint8_t*>(inputSlot.pixels);
    uint8_t* output = static_cast<uint8_t*>(outputSlot.pixels);

    const FrameGeometry geometry = frameGeometry(shape.width, shape.height);
    float params[kNumParams];
    obj.copyParams(params);
    const BrushSettings settings = deriveSettings(params, *obj.activeMode, geometry.frameScale);

    // Input and output may be one buffer: every read of the input (the
    // canvas fill, and the alpha that composeCoverage takes for m = 2)
    // happens in the first loop, before the second first writes the output.
    placeDots(obj, shape, settings.particleCount, viewRotation(settings.angleX, settings.angleY, settings.angleZ),
              settings.dotScale, geometry.sceneSpan);
    SceneMembers& scene = obj;
    const int w = shape.width;
    forEachBand(shape.height, BandSplit{kBandRows, w}, [&](int top, int end) {
        std::memset(scene.coverageMap.data() + size_t(top) * size_t(w), 0, size_t(end - top) * size_t(w));
        fillCanvasFromInput(scene, shape, input, settings.inputGain, settings.alphaMode, top, end);
        stampDots(scene, shape, scene.dotCount, top, end);
        composeCoverage(scene, shape, settings.alphaMode, input, top, end);
    });
    const SwirlSettings swirl = {settings.bandCentre, settings.bandHalfWidth, settings.zoom, settings.rotation};
    const size_t rowBytes = size_t(w) * size_t(shape.bytesPerPixel);
    forEachBand(shape.height, BandSplit{kBandRows, w}, [&](int top, int end) {
        // Row by row, so that each output row is blended while it is in
        // the nearest cache.
        for (int y = top; y < end; ++y) {
            swirlValueBand(scene, shape, output, swirl, y, y + 1);
            if (scene.trailRestarts)
                std::memcpy(scene.feedbackFrame.data() + y * rowBytes, output + y * rowBytes, rowBytes);
            blendFeedback(scene, shape, output, settings.feedback, settings.alphaMode, y, y + 1);
        }
    });
    obj.trailRestarts = false;
    return 0;
}

void saveMotion(const PlugObj& obj, SceneMotion& motion) { saveParticleMotion(obj, motion.particles); }

void restoreMotion(PlugObj& obj, const SceneMotion& motion) { restoreParticleMotion(obj, motion.particles); }

void prepareTrail(PlugObj& obj, TrailStep step) {
    switch (step) {
        case TrailStep::Next:
        case TrailStep::Afresh:
        case TrailStep::Start:
            if (step == TrailStep::Start) std::fill(obj.feedbackFrame.begin(), obj.feedbackFrame.end(), uint8_t(0));
            obj.trailBefore = obj.feedbackFrame;  // same size after the first time: no allocation
            obj.trailRestarts = step == TrailStep::Afresh;
            obj.trailRestartedBefore = obj.trailRestarts;
            break;
        case TrailStep::Again:
            if (obj.trailBefore.size() == obj.feedbackFrame.size()) obj.feedbackFrame = obj.trailBefore;
            obj.trailRestarts = obj.trailRestartedBefore;
            break;
    }
}
