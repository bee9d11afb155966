
#include "plug_obj.h"

void createScene(PlugObj& obj) { obj.sceneBuffer.assign(size_t(obj.width()) * size_t(obj.height()), 0); }

// Inverts every byte of the input into the output, so tests can tell a
// rendered frame from a copied one.
void advanceScene(PlugObj&) {}

int drawScene(PlugObj& obj, const FrameMultiStruct& frame) {
    ++obj.renderCalls;
    obj.lastRecord = &frame;
    obj.lastInputPixels = frame.inputs[0]->pixels;
    obj.lastOutputPixels = frame.outputs[0]->pixels;
    for (int i = 0; i < kNumParams; ++i) obj.paramsSeen[i] = obj.param(i);
    if (obj.failNext > 0) {
        --obj.failNext;
        return -1;
    }
    FrameImageStruct* out = frame.outputs[0];
    if (obj.dropOutput) {
        out->pixels = nullptr;  // the buffer is the host's or the caller's, never ours to free
        return 0;
    }
    const size_t bytes = size_t(obj.width()) * size_t(obj.height()) * size_t(frame.inputs[0]->bytesPerPixel);
    const uint8_t* in = static_cast<const uint8_t*>(frame.inputs[0]->pixels);
    uint8_t* o = static_cast<uint8_t*>(out->pixels);
    for (size_t i = 0; i < bytes; ++i) o[i] = uint8_t(255 - in[i]);
    return 0;
}

void saveMotion(const PlugObj&, SceneMotion&) {}
void restoreMotion(PlugObj&, const SceneMotion&) {}
void prepareTrail(PlugObj&, TrailStep) {}
