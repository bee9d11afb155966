// The test plug-in's parameters.
#pragma once

#include "descriptor.h"

enum FakeParam : int {
    kFirst,
    kSecond,
    kThird,
    kNumParams
};

inline constexpr ParamSpec kParamSpecs[] = {
    {kFirst, "First", 0.25f, "First test value"},
    {kSecond, "Second Param", 0.5f, "Second test value"},
    {kThird, "Third", 1.0f, "Third test value"},
};
