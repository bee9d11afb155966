// VyrGlobHeap1: identity. The parameters are declared in params.h.
#include "descriptor.h"
#include "params.h"

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
