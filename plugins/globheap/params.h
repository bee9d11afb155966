// VyrGlobHeap1's parameters: row, name, default and what the value does.
// Sizes and speeds scale with K = (width + height) / 672; S is 1.2 times the
// larger side of the frame, the edge of the cube the blobs drift in.
#pragma once

#include "descriptor.h"

enum HeapParam : int {
    kDotScale,
    kSpeed,
    kNumParticles,
    kNoiseLevel,
    kAngleAnim,
    kAngleX,
    kAngleY,
    kAngleZ,
    kOriginX,
    kOriginY,
    kOriginZ,
    kTransX,
    kTransY,
    kTransZ,
    kNumParams
};

inline constexpr ParamSpec kParamSpecs[] = {
    {kDotScale, "Dot Scale", 0.8f, "Diameter of the nearest blobs: 512 x value x K pixels (at least 10)"},
    {kSpeed, "Speed", 0.5f, "Drift of the blobs around their attractors: still at 0, fastest at 1 (10 x value x K)"},
    {kNumParticles, "Num Particles", 0.08f, "Blobs drawn: 10 at 0 to 256 from about 0.96 on"},
    {kNoiseLevel, "NoiseLevel", 0.0f, "Film grain over the picture: none at 0 to 128 grey levels at 1"},
    {kAngleAnim, "Angle Anim", 0.5f,
     "Spin about all three axes: none at 0.5, up to a hundredth of a turn per frame backwards at 0 or forwards at 1"},
    {kAngleX, "Angle X", 0.5f,
     "Turn about the horizontal axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kAngleY, "Angle Y", 0.5f, "Turn about the vertical axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kAngleZ, "Angle Z", 0.5f, "Turn in the picture plane: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kOriginX, "Origin X", 0.5f, "Sideways shift of the picture: (value - 0.5) x 2S pixels, centred at 0.5"},
    {kOriginY, "Origin Y", 0.5f, "Vertical shift of the picture: (value - 0.5) x 2S pixels, centred at 0.5"},
    {kOriginZ, "Origin Z", 0.5f, "Kept and shown only: the view has no perspective, so depth changes nothing"},
    {kTransX, "Trans X", 0.5f,
     "Shift of the mass along its own X axis before turning: (value - 0.5) x 0.02 x S pixels"},
    {kTransY, "Trans Y", 0.5f,
     "Shift of the mass along its own Y axis before turning: (value - 0.5) x 0.02 x S pixels"},
    {kTransZ, "Trans Z", 0.5f,
     "Shift of the mass along its own Z axis before turning: (value - 0.5) x 0.02 x S pixels"},
};
