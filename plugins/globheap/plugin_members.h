// VyrGlobHeap1's members of the instance object.
#pragma once

#include <vector>

#include "blob_view.h"
#include "params.h"
#include "particle_field.h"

struct SceneMotion {
    ParticleMotion particles;
    float spinAngle;
    int noiseOffset;
};

struct SceneMembers : ParticleField {
    float spinAngle = 0.0f;            // radians, kept in [0, 2 pi)
    int noiseOffset = 0;               // this step's start in the grain table, 0..9999
    std::vector<BlobPlacement> blobs;  // this frame's visible blobs, one slot per particle
    int blobCount = 0;
};
