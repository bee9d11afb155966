// A deliverable for testing the framework alone: its renderer can be told
// to fail or to drop its output, and it counts its calls.
#pragma once

#include <cstdint>
#include <vector>

#include "params.h"

struct FrameMultiStruct;

struct SceneMotion {};

struct SceneMembers {
    std::vector<uint8_t> sceneBuffer;
    int renderCalls = 0;
    int failNext = 0;         // drawScene answers -1 while non-zero
    bool dropOutput = false;  // drawScene nulls output slot 0's pixel address
    const FrameMultiStruct* lastRecord = nullptr;
    const void* lastInputPixels = nullptr;  // slot 0 buffers of the last render
    const void* lastOutputPixels = nullptr;
    float paramsSeen[kNumParams] = {};
};
