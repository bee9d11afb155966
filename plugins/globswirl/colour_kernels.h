// The colouring of a span of counters, compiled once per instruction-set
// path (colour_kernels.cpp). Plain data only, so that the kernels can share
// this header without pulling in code built for another path.
#pragma once

#include <cstdint>

#include "counter_limit.h"
#include "isa.h"

// A frame's colours and grain, prepared by FieldPalette.
struct ColourRamp {
    // Level 0..255 -> the pixel's bytes in memory order (blue, green, red,
    // alpha), once as whole pixels and once as one table per byte.
    uint32_t pixel[256];
    uint8_t channel[4][256];
    // Without grain (fillPlainTables): counter 0..kCounterLimit -> its
    // pixel, for the paths that colour one pixel at a time; and the level
    // counter / 4, held to 255, -> its bytes with the floors applied, which
    // is all there is to it where plainFits is 1 (counter 1024 looks like
    // counter 1020, so level 256 needs no entry of its own).
    uint32_t counterPixel[kCounterLimit + 1];
    uint8_t plainChannel[4][256];
    int32_t plainFits;
    int32_t opaque;       // 1: every alpha byte of the tables is 255
    int32_t grainAmount;  // grain levels, 1..128, where there is grain (at most 257)
    int32_t grainBias;    // grainAmount / 2, centring the grain on the noise-free level
    // The floors: levels below levelA become fillA, then levels below
    // levelB become fillB (INT32_MIN: no floor).
    int32_t levelA, fillA, levelB, fillB;
};

// Writes count pixels of bytesPerPixel (3 or 4) bytes from their counters.
// Without grain (grain null) a counter is first held to 0..kCounterLimit
// and its level is counter / 4; with grain, pixel i's level is
// counter / 4 - grainBias + (grain[i] x grainAmount) / 256 (shifts, rounding
// down). Then the floors, then the level is held to 0..255 and looked up.
// The grainless tables must be as fillPlainTables makes them.
VYR_DECLARE_ISA_KERNEL(void, colourSpan,
                       (const ColourRamp* ramp, const int32_t* counters, const uint8_t* grain, int count,
                        uint8_t* pixels, int bytesPerPixel))
