#include <cstdlib>
#include <cstring>

#include "notice.h"
#include "plug_obj.h"

namespace {

const char kNotReadyText[] = "pPlugObj->fMultiReady is false, setup for processing hasn't been done.";
const char kMultiCaption[] = "Vyr_Multi";

}  // namespace

// One of the host's own frames as an image slot of the instance's geometry.
FrameImageStruct PlugObj::hostImage(void* pixels) const {
    const int b = bytesPerPixel();
    FrameImageStruct image = {};
    image.formatCode = (b == 3 || b == 4) ? ff::kFormatPacked8 : ff::kFormatPlain;
    image.bytesPerPixel = b;
    image.pixels = pixels;
    image.width = width();
    image.height = height();
    return image;
}

void PlugObj::releaseUnusedSlots() {
    for (int i = 1; i < kMaxSlots; ++i) {
        releaseSlot(fMulti->inputs[i]);
        releaseSlot(fMulti->outputs[i]);
    }
}

// The two FreeFrame operations render straight into the host's frames
// instead of copying them into fMulti's slot 0 buffers and the picture back
// out. No host can tell the difference: a source never reads its input, and
// the effect reads every input byte it needs before it first writes the
// output (drawScene's contract), so in-place frames come out the same as
// from copies, and the input of processFrameCopy is only ever read.
int PlugObj::processFrame(void* pFrame) {
    if (!fMultiReady) {
        showNotice("processFrame Error", kNotReadyText);
        return -1;
    }
    if (pFrame == nullptr) return -1;
    FrameImageStruct in = hostImage(pFrame);
    FrameImageStruct out = in;
    const int result = renderHostFrames(in, out, true);
    // A generator that answers 0 without an output buffer leaves a black
    // frame; one that fails has written nothing.
    if (result == 0 && out.pixels == nullptr) std::memset(pFrame, 0, frameBytes());
    return result;
}

int PlugObj::processFrameCopy(const ProcessFrameCopyStruct* pCopy) { return copyFrame(pCopy, true); }

int PlugObj::drawFrameCopy(const ProcessFrameCopyStruct* pCopy) { return copyFrame(pCopy, false); }

int PlugObj::copyFrame(const ProcessFrameCopyStruct* pCopy, bool step) {
    if (!fMultiReady) {
        showNotice("processFrameCopy Error", kNotReadyText);
        return -1;
    }
    if (pCopy == nullptr || pCopy->ppInputFrames == nullptr || pCopy->pOutputFrame == nullptr) return -1;
    if (pCopy->numInputFrames == 0) return -1;
    void* input = pCopy->ppInputFrames[0];
    if (input == nullptr) return -1;
    FrameImageStruct in = hostImage(input);
    FrameImageStruct out = hostImage(pCopy->pOutputFrame);
    const int result = renderHostFrames(in, out, step);
    if (result != 0 || out.pixels == nullptr) std::memset(pCopy->pOutputFrame, 0, frameBytes());
    return result;
}

// The host's frames as a one-slot record for the generator; fMulti keeps
// one slot of each kind, as a host that looks at it expects.
int PlugObj::renderHostFrames(FrameImageStruct& in, FrameImageStruct& out, bool step) {
    clampParams();
    fMulti->numInputs = 1;
    fMulti->numOutputs = 1;
    releaseUnusedSlots();
    FrameMultiStruct record = {};
    record.numInputs = 1;
    record.inputs[0] = &in;
    record.numOutputs = 1;
    record.outputs[0] = &out;
    return runGenerator(&record, false, step);
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
    return in->width == width() && in->height == height() && out->width == width() && out->height == height();
}

int PlugObj::processFrameMulti(FrameMultiStruct* pFrameData) { return runGenerator(pFrameData, true); }

void PlugObj::advanceSteps(int64_t steps) {
    clampParams();
    for (int64_t i = 0; i < steps; ++i) advanceScene(*this);
}

int PlugObj::runGenerator(FrameMultiStruct* pFrameData, bool callersRecord, bool step) {
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
    // A source clears the input picture of a caller's record, which that
    // caller can see; the host frames of the two FreeFrame operations are
    // not the source's to change (an input of processFrameCopy) or are
    // overwritten whole anyway (an in-place frame).
    if (callersRecord && pluginDescriptor.type == ff::kTypeSource) {
        const FrameImageStruct& in = *pFrameData->inputs[0];
        std::memset(in.pixels, 0, size_t(width()) * size_t(height()) * size_t(in.bytesPerPixel));
    }
    if (step) advanceScene(*this);
    return drawScene(*this, *pFrameData);
}
