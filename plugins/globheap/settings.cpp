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
    f.originX = (param[kOriginX] - 0.5f) * (2.0f * S);
    f.originY = (param[kOriginY] - 0.5f) * (2.0f * S);
    f.translateX = (param[kTransX] - 0.5f) * (0.02f * S);
    f.translateY = (param[kTransY] - 0.5f) * (0.02f * S);
    f.translateZ = (param[kTransZ] - 0.5f) * (0.02f * S);
    f.blobSize = (mode.sizeGain * param[kDotScale] + mode.sizeBias) * K;
    f.speed = (mode.speedGain * param[kSpeed] + mode.speedBias) * K;
    const int count = static_cast<int>(static_cast<float>(mode.countGain) * param[kNumParticles] + 10.0f);
    f.particleCount = std::clamp(count, 1, kHeapParticles);
    f.noiseAmount = static_cast<int>(128.0f * param[kNoiseLevel]);
    return f;
}
