// VyrSnowSpecks1's parameters: row, name, default and what the value does.
#pragma once

#include "descriptor.h"

enum SnowParam : int {
    kDrawSwitch,
    kDotScale,
    kAngleX,
    kAngleY,
    kAngleZ,
    kBrightness,
    kNumParticles,
    kNumParams
};

inline constexpr ParamSpec kParamSpecs[] = {
    {kDrawSwitch, "Draw Switch!", 0.5f,
     "Above 0.2 the dots move and shine; at 0.2 or below the picture is black and switching on again seeds new dots"},
    {kDotScale, "Dot Scale", 0.75f,
     "Reach of the nearest dots: 5 pixels at 0 to 512 pixels at 1, farther dots smaller"},
    {kAngleX, "Angle X", 0.5f,
     "Turn of the cloud about the horizontal axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kAngleY, "Angle Y", 0.5f,
     "Turn of the cloud about the vertical axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kAngleZ, "Angle Z", 0.5f,
     "Turn of the cloud in the picture plane: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kBrightness, "Brightness", 0.5f, "Fall-off of each dot's light: small steep cones at 0, wide flat ones at 1"},
    {kNumParticles, "Num Particles", 0.5f,
     "Dots in the cloud: 1 at 0 to 16 at 1; takes effect when the cloud is seeded (switch off and on)"},
};
