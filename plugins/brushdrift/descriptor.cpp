// VyrBrushDrift1: identity. The parameters are declared in params.h.
#include "descriptor.h"
#include "params.h"

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
