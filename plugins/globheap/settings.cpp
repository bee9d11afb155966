// Per-frame quantities of VyrGlobHeap1: from the frame size, the parameter
// values and the preset, with the float expressions written in the one
// order that gives the same numbers in every build.
#include <algorithm>

#include "heap_frame.h"

namespace {

// Spin per frame for each unit of (Angle Anim - 0.5): 2 pi / 50, so at most
// a hundredth of a turn per frame either way.
constexpr double kSpinPerFrame = 0.12566370614359174;

}  // namespace

HeapFrame heapFrameValues(const float (&param)[kNumParams], int width, int height, const ModeRecord& mode) {
    HeapFrame f;
    const float S = sceneSpan(width, height);
    const float K = static_cast<float>(width + height) / 672.0f;
    f.sceneSpan = S;
    f.frameScale = K;
    f.spinStep = (static_cast<double>(param[kAngleAnim]) - 0.5) * kSpinPerFrame;
    f.angleX = angleFromParam(param[kAngleX]);
    f.angleY = angleFromParam(param[kAngleY]);
    f.angleZ = angleFromParam(param[kAngleZ]);
    f.shifts = viewShifts(S, param[kOriginX], param[kOriginY], param[kTransX], param[kTransY], param[kTransZ]);
    f.blobSize = mode.blobSize(param[kDotScale], K);
    f.speed = mode.speed(param[kSpeed], K);
    f.particleCount = mode.particleCount(param[kNumParticles], kHeapParticles);
    f.noiseAmount = static_cast<int>(128.0f * param[kNoiseLevel]);
    return f;
}
