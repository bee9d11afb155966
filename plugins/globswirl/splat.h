// Projecting the swarm onto the frame and stamping it into the density
// field, one soft blob per particle.
#pragma once

#include <cstdint>
#include <vector>

#include "particle_field.h"
#include "swirl_frame.h"

// Sines and cosines of the three view angles.
struct ViewRotation {
    float sinX, cosX, sinY, cosY, sinZ, cosZ;
};

// Where and how one particle's blob is stamped.
struct BlobPlacement {
    int32_t centreX, centreY;  // pixel the middle of the kernel falls on
    int32_t size;              // blob diameter in pixels, at least 10
    int32_t half;              // size >> 1: the stamp covers 2 x half pixels each way
    int32_t step;              // kernel entries per pixel, 16.16
    int32_t weight;            // 16.16 blend weight, nearer is heavier
    bool visible;              // false when the stamp lies wholly off the frame
};

ViewRotation viewRotation(const SwirlFrame& frame);

// Shift, rotation and orthographic projection of one particle, and the size
// and weight that its depth gives its blob.
BlobPlacement placeBlob(const ParticleRecord& particle, const ViewRotation& rotation,
                        const SwirlFrame& frame, int width, int height);

// Adds the blobs of particles 0..frame.particleCount-1 into
// field.accumBuffer (width x height counters, each saturating at 1024).
// `placements` holds at least frame.particleCount slots.
void splatBlobs(ParticleField& field, std::vector<BlobPlacement>& placements, const SwirlFrame& frame,
                int width, int height);
