// Per-frame quantities of VyrBrushDrift1: from the frame size and from the
// parameter values, with the float expressions written in the one order
// that gives the same numbers in every build.
#include <algorithm>

#include "brush_stages.h"
#include "descriptor.h"

FrameGeometry frameGeometry(int width, int height) {
    FrameGeometry g;
    g.sceneSpan = sceneSpan(width, height);
    g.frameScale = static_cast<float>(width) / 384.0f;
    return g;
}

BrushSettings deriveSettings(const float (&params)[kNumParams], const ModeRecord& mode, float frameScale) {
    BrushSettings s;
    s.dotScale = mode.blobSize(params[kParamDotScale], frameScale);
    s.speed = mode.speed(params[kParamSpeed], frameScale);
    s.particleCount = mode.particleCount(params[kParamNumParticles], kParticleCapacity);
    s.zoom = static_cast<int>(1024.0f * params[kParamSourceZoom]);
    s.bandCentre = static_cast<int>(255.0f * params[kParamSourceVal]);
    s.bandHalfWidth = static_cast<int>(254.0f * params[kParamSourceRange]) + 1;
    // 98304 steps over the parameter's range: one and a half turns.
    s.rotation = static_cast<int>(98304.0f * params[kParamSourceRotation]) % 65536;
    s.angleX = angleFromParam(params[kParamAngleX]);
    s.angleY = angleFromParam(params[kParamAngleY]);
    s.angleZ = angleFromParam(params[kParamAngleZ]);
    s.alphaMode = static_cast<int>(2.0f * params[kParamAlphaMode]);
    s.feedback = static_cast<int>(255.0f * params[kParamFeedback]);
    s.inputGain = static_cast<int>(255.0f * params[kParamBlendInput]);
    return s;
}
