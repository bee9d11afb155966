// VyrGlobSwirl1's members of the instance object.
#pragma once

#include <vector>

#include "blob_view.h"
#include "params.h"
#include "particle_field.h"

struct SceneMembers : ParticleField {
    // This frame's visible blobs, one slot per particle, sized at
    // instantiation so that placing them allocates nothing.
    std::vector<BlobPlacement> blobs;
    int blobCount = 0;
    int grainOffset = 0;  // this step's start in the grain table, 0..9999
};

struct SceneMotion {
    ParticleMotion particles;
    int grainOffset;
};
