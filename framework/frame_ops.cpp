#include <cstdlib>
#include <cstring>

#include "notice.h"
#include "plug_obj.h"

namespace {

const char kNotReadyText[] = "pPlugObj->fMultiReady is false, setup for processing hasn't been done.";
const char kMultiCaption[] = "Vyr_Multi";

}  // namespace

bool PlugObj::fillSlot(FrameImageStruct* slot, const void* source) {
    const int w = width();
    const int h = height();
    const int b = bytesPerPixel();
    const size_t bytes = frameBytes();
    if (slot->width != w || slot->height != h || slot->bytesPerPixel != b || slot->pixels == nullptr) {
        releaseSlot(slot);
        slot->pixels = std::malloc(bytes);
        if (slot->pixels == nullptr) return false;
    }
    slot->formatCode = (b == 3 || b == 4) ? ff::kFormatPacked8 : ff::kFormatPlain;
    slot->bytesPerPixel = b;
    slot->width = w;
    slot->height = h;
    std::memcpy(slot->pixels, source, bytes);
    slot->pixels2 = nullptr;
    slot->reserved1 = 0;
    slot->reserved2 = 0;
    return true;
}

void PlugObj::releaseUnusedSlots() {
    for (int i = 1; i < kMaxSlots; ++i) {
        releaseSlot(fMulti->inputs[i]);
        releaseSlot(fMulti->outputs[i]);
    }
}

int PlugObj::processFrame(void* pFrame) {
    if (!fMultiReady) {
        showNotice("processFrame Error", kNotReadyText);
        return -1;
    }
    if (pFrame == nullptr) return -1;
    clampParams();
    fMulti->numInputs = 1;
    fMulti->numOutputs = 1;
    releaseUnusedSlots();
    // Without slot buffers there is nothing to render from; the host frame
    // stays as it was.
    if (!fillSlot(fMulti->inputs[0], pFrame) || !fillSlot(fMulti->outputs[0], pFrame)) return -1;
    const int result = processFrameMulti(fMulti);
    if (result == 0) {
        const void* out = fMulti->outputs[0]->pixels;
        if (out != nullptr)
            std::memcpy(pFrame, out, frameBytes());
        else
            std::memset(pFrame, 0, frameBytes());
    }
    return result;
}

int PlugObj::processFrameCopy(const ProcessFrameCopyStruct* pCopy) {
    if (!fMultiReady) {
        showNotice("processFrameCopy Error", kNotReadyText);
        return -1;
    }
    if (pCopy == nullptr || pCopy->ppInputFrames == nullptr || pCopy->pOutputFrame == nullptr) return -1;
    if (pCopy->numInputFrames == 0) return -1;
    const void* input = pCopy->ppInputFrames[0];
    if (input == nullptr) return -1;
    clampParams();
    fMulti->numInputs = 1;
    fMulti->numOutputs = 1;
    releaseUnusedSlots();
    int result = -1;
    if (fillSlot(fMulti->inputs[0], input) && fillSlot(fMulti->outputs[0], pCopy->pOutputFrame))
        result = processFrameMulti(fMulti);
    const void* out = fMulti->outputs[0]->pixels;
    if (result == 0 && out != nullptr)
        std::memcpy(pCopy->pOutputFrame, out, frameBytes());
    else
        std::memset(pCopy->pOutputFrame, 0, frameBytes());
    return result;
}

bool PlugObj::recordIsUsable(const FrameMultiStruct& frame) const {
    if (frame.numInputs == 0 || frame.numOutputs == 0) return false;
    const FrameImageStruct* in = frame.inputs[0];
    const FrameImageStruct* out = frame.outputs[0];
    if (in == nullptr || out == nullptr || in->pixels == nullptr || out->pixels == nullptr) return false;
    // Generators draw the instance's width x height pixels at the slots'
    // bytes per pixel, so any other geometry would read or write outside
    // the caller's buffers.
    if (in->bytesPerPixel != out->bytesPerPixel) return false;
    if (in->bytesPerPixel != 3 && in->bytesPerPixel != 4) return false;
    if (pluginDescriptor.slotDepthMustMatchInstance && in->bytesPerPixel != bytesPerPixel()) return false;
    return in->width == width() && in->height == height() && out->width == width() &&
           out->height == height();
}

int PlugObj::processFrameMulti(FrameMultiStruct* pFrameData) {
    clampParams();
    if (!fMultiReady) {
        showNotice(kMultiCaption, "Error: fMultiReady == false");
        return -1;
    }
    if (fMulti == nullptr) {
        showNotice(kMultiCaption, "Error: fMulti == NULL");
        return -1;
    }
    if (pFrameData == nullptr) {
        showNotice(kMultiCaption, "Error: pFrameData == NULL");
        return -1;
    }
    if (!recordIsUsable(*pFrameData)) {
        showNotice(kMultiCaption, "Error: No valid input data present");
        return -1;
    }
    return renderFrame(*this, *pFrameData);
}
