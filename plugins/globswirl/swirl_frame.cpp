#include "swirl_frame.h"

#include <algorithm>

#include "descriptor.h"

int presetIndex(float mode) { return std::clamp(static_cast<int>(mode * 5.0f), 0, kModeCount - 1); }

SwirlFrame swirlFrameValues(const float (&param)[kNumParams], int width, int height, const ModeRecord& mode) {
    SwirlFrame f;
    const float S = sceneSpan(width, height);
    const float K = static_cast<float>(width + height) / 672.0f;
    f.sceneSpan = S;
    f.frameScale = K;

    f.angleX = angleFromParam(param[kAngleX]);
    f.angleY = angleFromParam(param[kAngleY]);
    f.angleZ = angleFromParam(param[kAngleZ]);
    f.shifts =
        viewShifts(S, param[kOriginX], param[kOriginY], param[kTranslateX], param[kTranslateY], param[kTranslateZ]);

    f.drawOn = param[kDrawSwitch] > 0.0f;
    f.alphaOn = param[kAlphaSwitch] > 0.5f;

    // Larger blobs come in smaller numbers.
    const float dotScale = param[kDotScale];
    f.particleCount = mode.particleCount(param[kNumParticles], kSwirlParticles, 1.0f - dotScale);
    f.blobSize = mode.blobSize(dotScale, K);
    f.speed = mode.speed(param[kSpeed], K);
    f.noiseAmount = static_cast<int>(128.0f * param[kNoiseLevel]);
    return f;
}

BlobView swirlBlobView(const SwirlFrame& frame, int width, int height) {
    // 16.16 weight: 25936 at the back of the cube .. 65536 at the front.
    return blobView(width, height, frame.sceneSpan, frame.blobSize, frame.shifts,
                    viewRotation(frame.angleX, frame.angleY, frame.angleZ), BlobWeighting{40000.0f, 25536});
}
