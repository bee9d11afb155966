// Per-frame quantities of VyrSnowSpecks1 from the parameter values.
#include <algorithm>

#include "dot_scene.h"

SnowSettings snowSettings(const float (&param)[kNumParams]) {
    SnowSettings s;
    s.drawOn = param[kDrawSwitch] > 0.2f;
    s.dotReach = 507.0f * param[kDotScale] + 5.0f;
    s.falloff = (1.0f - param[kBrightness]) * 262144.0f + 65536.0f;
    s.rotX = angleFromParam(param[kAngleX]);
    s.rotY = angleFromParam(param[kAngleY]);
    s.rotZ = angleFromParam(param[kAngleZ]);
    s.dotCount = std::clamp(static_cast<int>(15.0f * param[kNumParticles] + 1.0f), 1, kMaxDots);
    return s;
}
