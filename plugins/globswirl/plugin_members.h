// VyrGlobSwirl1's members of the instance object.
#pragma once

constexpr int kNumParams = 16;

struct SceneMembers {
};
