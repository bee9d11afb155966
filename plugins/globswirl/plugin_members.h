// VyrGlobSwirl1's members of the instance object.
#pragma once

#include <vector>

#include "particle_field.h"
#include "splat.h"

constexpr int kNumParams = 16;

struct SceneMembers : ParticleField {
    // Where each particle's blob lands this frame, one slot per particle,
    // sized at instantiation so that splatting allocates nothing.
    std::vector<BlobPlacement> blobPlacements;
};
