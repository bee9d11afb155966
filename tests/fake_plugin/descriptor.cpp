#include "descriptor.h"
#include "plugin_members.h"

ParamDefStruct paramTable[kNumParams + 1] = {
    {0.25f, "First"},
    {0.5f, "Second Param"},
    {1.0f, "Third"},
    {0.0f, ""},
};

const PluginDescriptor pluginDescriptor = {
    "tst1", "FrameworkTest", ff::kTypeEffect, 3, 1, "Test deliverable", "FrameworkTest - test", kNumParams, false,
};
