// VyrGlobHeap1's members of the instance object.
#pragma once

constexpr int kNumParams = 14;

struct SceneMembers {
};
