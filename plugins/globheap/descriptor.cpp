// VyrGlobHeap1: identity and parameter table.
#include "descriptor.h"
#include "plugin_members.h"

ParamDefStruct paramTable[kNumParams + 1] = {
    {0.8f, "Dot Scale"},
    {0.5f, "Speed"},
    {0.08f, "Num Particles"},
    {0.0f, "NoiseLevel"},
    {0.5f, "Angle Anim"},
    {0.5f, "Angle X"},
    {0.5f, "Angle Y"},
    {0.5f, "Angle Z"},
    {0.5f, "Origin X"},
    {0.5f, "Origin Y"},
    {0.5f, "Origin Z"},
    {0.5f, "Trans X"},
    {0.5f, "Trans Y"},
    {0.5f, "Trans Z"},
    {0.0f, ""},
};

const PluginDescriptor pluginDescriptor = {
    "vr47",
    "VyrGlobHeap1",
    ff::kTypeSource,
    3,
    894,
    "Source plugin: A mass of blobs adjustable in size and number",
    "VyrGlobHeap1 - Version 3.x - (c) the Vyr authors",
    kNumParams,
    false,
};
