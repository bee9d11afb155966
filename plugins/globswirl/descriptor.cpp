// VyrGlobSwirl1: identity and parameter table.
#include "descriptor.h"
#include "plugin_members.h"

ParamDefStruct paramTable[kNumParams + 1] = {
    {0.5f, "Draw Switch!"},
    {0.32f, "Dot Scale"},
    {0.3f, "Speed"},
    {0.0f, "Mode"},
    {0.5f, "Angle X"},
    {0.5f, "Angle Y"},
    {0.5f, "Angle Z"},
    {0.2f, "Num Particles"},
    {0.5f, "Origin X"},
    {0.5f, "Origin Y"},
    {0.5f, "Origin Z"},
    {0.5f, "Translate X"},
    {0.5f, "Translate Y"},
    {0.5f, "Translate Z"},
    {0.0f, "Alpha Switch"},
    {0.0f, "NoiseLevel"},
    {0.0f, ""},
};

const PluginDescriptor pluginDescriptor = {
    "vr48",
    "VyrGlobSwirl1",
    ff::kTypeSource,
    3,
    876,
    "Source plugin: many many blobs? rotate in 3D!",
    "VyrGlobSwirl1 - Version 3.x - (c) the Vyr authors",
    kNumParams,
    false,
};
