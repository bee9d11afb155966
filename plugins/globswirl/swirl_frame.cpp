#include "swirl_frame.h"

#include <algorithm>

#include "descriptor.h"

int presetIndex(float mode) { return std::clamp(static_cast<int>(mode * 5.0f), 0, kModeCount - 1); }

SwirlFrame swirlFrameValues(const float (&param)[kNumParams], int width, int height,
                            const ModeRecord& mode) {
    SwirlFrame f;
    const float S = sceneSpan(width, height);
    const float K = static_cast<float>(width + height) / 672.0f;
    f.sceneSpan = S;
    f.frameScale = K;

    f.angleX = angleFromParam(param[kAngleX]);
    f.angleY = angleFromParam(param[kAngleY]);
    f.angleZ = angleFromParam(param[kAngleZ]);
    f.originX = (param[kOriginX] - 0.5f) * (2.0f * S);
    f.originY = (param[kOriginY] - 0.5f) * (2.0f * S);
    f.translateX = (param[kTranslateX] - 0.5f) * (0.02f * S);
    f.translateY = (param[kTranslateY] - 0.5f) * (0.02f * S);
    f.translateZ = (param[kTranslateZ] - 0.5f) * (0.02f * S);

    f.drawOn = param[kDrawSwitch] > 0.0f;
    f.alphaOn = param[kAlphaSwitch] > 0.5f;

    // Larger blobs come in smaller numbers.
    const float dotScale = param[kDotScale];
    const int count = static_cast<int>((1.0f - dotScale) * static_cast<float>(mode.countGain) *
                                           param[kNumParticles] + 10.0f);
    f.particleCount = std::clamp(count, 1, kSwirlParticles);
    f.blobSize = (mode.sizeGain * dotScale + mode.sizeBias) * K;
    f.speed = (mode.speedGain * param[kSpeed] + mode.speedBias) * K;
    f.noiseAmount = static_cast<int>(128.0f * param[kNoiseLevel]);
    return f;
}

BlobView swirlBlobView(const SwirlFrame& frame, int width, int height) {
    BlobView view;
    view.width = width;
    view.height = height;
    view.sceneSpan = frame.sceneSpan;
    view.blobSize = frame.blobSize;
    view.translateX = frame.translateX;
    view.translateY = frame.translateY;
    view.translateZ = frame.translateZ;
    view.originX = frame.originX;
    view.originY = frame.originY;
    view.rotation = viewRotation(frame.angleX, frame.angleY, frame.angleZ);
    view.weighting = BlobWeighting{40000.0f, 25536};  // 16.16: 25936 at the back .. 65536 at the front
    return view;
}
