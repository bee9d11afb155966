#include "descriptor.h"
#include "params.h"

const PluginDescriptor pluginDescriptor = {
    "tst1", "FrameworkTest", ff::kTypeEffect, 3, 1, "Test deliverable", "FrameworkTest - test", kNumParams, false,
};
