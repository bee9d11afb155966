// VyrSnowSpecks1: identity and parameter table.
#include "descriptor.h"
#include "plugin_members.h"

ParamDefStruct paramTable[kNumParams + 1] = {
    {0.5f, "Draw Switch!"},
    {0.75f, "Dot Scale"},
    {0.5f, "Angle X"},
    {0.5f, "Angle Y"},
    {0.5f, "Angle Z"},
    {0.5f, "Brightness"},
    {0.5f, "Num Particles"},
    {0.0f, ""},
};

const PluginDescriptor pluginDescriptor = {
    "vr46",
    "VyrSnowSpecks1",
    ff::kTypeSource,
    3,
    906,
    "Source plugin: creating what it says: white dots (of different size), 3D rotatable around center",
    "VyrSnowSpecks1 - Version 3.x - (c) the Vyr authors",
    kNumParams,
    false,
};
