// VyrBrushDrift1: identity and parameter table.
#include "descriptor.h"
#include "plugin_members.h"

ParamDefStruct paramTable[kNumParams + 1] = {
    {0.5f, "Dot Scale"},
    {0.08f, "Num Particles"},
    {0.5f, "Speed"},
    {0.1f, "Source Zoom"},
    {0.5f, "Source Val"},
    {0.5f, "Source Range"},
    {1.0f, "Displacement"},
    {0.0f, "Source Rotation"},
    {0.5f, "Angle X"},
    {0.5f, "Angle Y"},
    {0.5f, "Angle Z"},
    {0.75f, "Alpha Mode"},
    {0.5f, "Feedback"},
    {0.0f, "Blend Input"},
    {0.0f, ""},
};

const PluginDescriptor pluginDescriptor = {
    "vr4f",
    "VyrBrushDrift1",
    ff::kTypeEffect,
    3,
    936,
    "Painterly style processing of input, highres version (slower)",
    "VyrBrushDrift1- Version 3.x - (c) the Vyr authors",
    kNumParams,
    true,
};
