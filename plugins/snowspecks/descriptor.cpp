// VyrSnowSpecks1: identity. The parameters are declared in params.h.
#include "descriptor.h"
#include "params.h"

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
