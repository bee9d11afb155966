// The white-dots scene: parameter mappings, seeding and motion of the dots,
// and the cone renderer. generator.cpp runs these stages in frame order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plugin_members.h"
#include "random_source.h"

// Everything a frame takes from the (already clamped) parameters.
struct SnowSettings {
    bool drawOn;             // "Draw Switch!" strictly above 0.2
    float dotReach;          // a dot's reach at depth factor 1, 5..512 pixels
    float falloff;           // fall-off steepness, 65536..327680: higher brightness, flatter cone
    float rotX, rotY, rotZ;  // view rotation, radians
    int dotCount;            // dots placed at seeding, 1..16
};
SnowSettings snowSettings(const float (&param)[kNumParams]);

// Quantities of the frame size. The scene cube of this plug-in is as wide
// as the larger side of the frame.
struct FrameGeometry {
    float span;         // M: the larger side in pixels, the edge of the cube
    int spanWhole;      // Mi: M as an integer, the range of the attractors' draws
    int halfSpanWhole;  // M / 2 truncated, the range of the dots' draws
    float halfSpan;     // M / 2: from the cube's corner to its centre
};
FrameGeometry frameGeometry(int width, int height);

// Places `count` dots at rest in the positive octant (0..halfSpanWhole-1
// per axis) and all attractors in the cube -halfSpan..spanWhole-1-halfSpan,
// drawing random numbers in that order (x, y, z per dot, then per
// attractor). `geo.halfSpanWhole` must be at least 1.
void seedScene(SceneMembers& scene, int count, const FrameGeometry& geo, RandomSource& random);
// One motion step of every dot under the pull of all attractors.
void stepDots(SceneMembers& scene);

// Where and how a dot lands on the picture: its centre pixel (possibly
// outside the frame), reach r (10..kMaxReach) and fall-off slope k.
struct DotFootprint {
    int cx, cy;
    int reach;
    int slope;
};
DotFootprint dotFootprint(const Vec3& rotated, const FrameGeometry& geo, float dotReach, float falloff, int width,
                          int height);

// Integer distances of offsets (x, y), 0 <= x, y <= kMaxReach.
void buildDistanceTable(std::vector<int32_t>& table);

// Columns begin..end-1 of a frame (empty when begin >= end).
struct ColumnSpan {
    int begin, end;
};
// Adds one cone of light to the accumulators of frame rows
// rowBegin..rowEnd-1 (by default the whole frame), saturating at 255;
// `accum` holds those rows only, from rowBegin on. Answers the columns it
// may have changed; other rows and columns are untouched.
ColumnSpan drawCone(int32_t* accum, int width, int height, const int32_t* distanceTable, const DotFootprint& dot,
                    int rowBegin = 0, int rowEnd = -1);
// Grey picture of `rows` rows of accumulators (0..255) whose columns outside
// `lit` are 0: bytes 0..2 of each pixel take the accumulator, a fourth byte
// (32-bit frames) is 255. Leaves every accumulator at 0.
void writeGreyRows(int32_t* accum, int width, int rows, ColumnSpan lit, int bytesPerPixel, uint8_t* out);
