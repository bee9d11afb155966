// VyrGlobHeap1's members of the instance object.
#pragma once

#include <vector>

#include "blob_view.h"
#include "params.h"
#include "particle_field.h"

struct SceneMembers : ParticleField {
    float spinAngle = 0.0f;            // radians, kept in [0, 2 pi)
    std::vector<BlobPlacement> blobs;  // this frame's visible blobs, one slot per particle
    int blobCount = 0;
};
