// VyrGlobSwirl1: identity. The parameters are declared in params.h.
#include "descriptor.h"
#include "params.h"

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
