// VyrBrushDrift1's parameters: row, name, default and what the value does.
// Sizes and speeds scale with K = width / 384.
#pragma once

#include "descriptor.h"

enum BrushParam : int {
    kParamDotScale,
    kParamNumParticles,
    kParamSpeed,
    kParamSourceZoom,
    kParamSourceVal,
    kParamSourceRange,
    kParamDisplacement,
    kParamSourceRotation,
    kParamAngleX,
    kParamAngleY,
    kParamAngleZ,
    kParamAlphaMode,
    kParamFeedback,
    kParamBlendInput,
    kNumParams
};

inline constexpr ParamSpec kParamSpecs[] = {
    {kParamDotScale, "Dot Scale", 0.5f, "Diameter of the nearest brush dots: 256 x value x K pixels (at least 10)"},
    {kParamNumParticles, "Num Particles", 0.08f, "Brush dots painted: 10 at 0 to 1024 from about 0.99 on"},
    {kParamSpeed, "Speed", 0.5f,
     "Drift of the dots around their attractors: still at 0, fastest at 1 (10 x value x K)"},
    {kParamSourceZoom, "Source Zoom", 0.1f,
     "Zoom of the swirled band at its centre brightness: one pixel at 0, natural size at 0.25, 4 times smaller at 1"},
    {kParamSourceVal, "Source Val", 0.5f, "Centre of the swirled brightness band: grey 0 at 0 to 255 at 1"},
    {kParamSourceRange, "Source Range", 0.5f,
     "Half-width of the swirled brightness band: 1 grey level at 0 to 255 at 1"},
    {kParamDisplacement, "Displacement", 1.0f, "Kept and shown only: it changes nothing in the picture"},
    {kParamSourceRotation, "Source Rotation", 0.0f, "Turn of the swirled band: none at 0 to one and a half turns at 1"},
    {kParamAngleX, "Angle X", 0.5f,
     "Turn of the swarm about the horizontal axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kParamAngleY, "Angle Y", 0.5f,
     "Turn of the swarm about the vertical axis: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kParamAngleZ, "Angle Z", 0.5f,
     "Turn of the swarm in the picture plane: half a turn back at 0, none at 0.5, half a turn on at 1"},
    {kParamAlphaMode, "Alpha Mode", 0.75f,
     "32-bit alpha: from 0.5 up to below 1 it follows the paint received (unpainted pixels clear); opaque below 0.5 "
     "and at 1"},
    {kParamFeedback, "Feedback", 0.5f,
     "Weight of the previous output in each new one: none at 0, trails grow longer up to 1"},
    {kParamBlendInput, "Blend Input", 0.0f,
     "Input on the canvas under the dots: black at 0, else input x trunc(255 x value) modulo 256 (1/255 copies it)"},
};
