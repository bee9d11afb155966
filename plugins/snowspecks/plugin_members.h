// VyrSnowSpecks1's members of the instance object.
#pragma once

constexpr int kNumParams = 7;

struct SceneMembers {
};
