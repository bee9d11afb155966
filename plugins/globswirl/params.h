// VyrGlobSwirl1's parameters: row, name, default and what the value does.
// Sizes and speeds scale with K = (width + height) / 672; S is 1.2 times the
// larger side of the frame, the edge of the cube the swarm drifts in.
#pragma once

#include "descriptor.h"

enum SwirlParam : int {
    kDrawSwitch,
    kDotScale,
    kSpeed,
    kMode,
    kAngleX,
    kAngleY,
    kAngleZ,
    kNumParticles,
    kOriginX,
    kOriginY,
    kOriginZ,
    kTranslateX,
    kTranslateY,
    kTranslateZ,
    kAlphaSwitch,
    kNoiseLevel,
    kNumParams
};

inline constexpr ParamSpec kParamSpecs[] = {
    {kDrawSwitch, "Draw Switch!", 0.5f,
     "Above 0 the swarm moves and is drawn; at 0 it is forgotten (empty field) and reseeded when switched on"},
    {kDotScale, "Dot Scale", 0.32f,
     "Size of the nearest blobs, up to 256 x K pixels at 1; bigger blobs come fewer (count x (1 - value))"},
    {kSpeed, "Speed", 0.3f,
     "Drift of the swarm around its attractors: still at 0, fastest at 1 (6 to 10 x value x K by look)"},
    {kMode, "Mode", 0.0f,
     "Look, in fifths: 0 grey with dark rims, 0.2 negative grey, 0.4 dark grey, 0.6 grey bands, 0.8 fire, 1 reversed "
     "fire"},
    {kAngleX, "Angle X", 0.5f,
     "Turn of the swarm about the horizontal axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kAngleY, "Angle Y", 0.5f,
     "Turn of the swarm about the vertical axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kAngleZ, "Angle Z", 0.5f,
     "Turn of the swarm in the picture plane: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kNumParticles, "Num Particles", 0.2f,
     "Blobs drawn: 10 + value x (1024 or 256 by look) x (1 - Dot Scale), at most 1024"},
    {kOriginX, "Origin X", 0.5f, "Sideways shift of the picture: (value - 0.5) x 2S pixels, centred at 0.5"},
    {kOriginY, "Origin Y", 0.5f, "Vertical shift of the picture: (value - 0.5) x 2S pixels, centred at 0.5"},
    {kOriginZ, "Origin Z", 0.5f, "Kept and shown only: the view has no perspective, so depth changes nothing"},
    {kTranslateX, "Translate X", 0.5f,
     "Shift of the swarm along its own X axis before turning: (value - 0.5) x 0.02 x S pixels"},
    {kTranslateY, "Translate Y", 0.5f,
     "Shift of the swarm along its own Y axis before turning: (value - 0.5) x 0.02 x S pixels"},
    {kTranslateZ, "Translate Z", 0.5f,
     "Shift of the swarm along its own Z axis before turning: (value - 0.5) x 0.02 x S pixels"},
    {kAlphaSwitch, "Alpha Switch", 0.0f,
     "Above 0.5, 32-bit pictures take alpha from the look (empty field clear, blobs opaque); otherwise opaque"},
    {kNoiseLevel, "NoiseLevel", 0.0f, "Grain mixed into the density before colouring: none at 0 to 128 levels at 1"},
};
