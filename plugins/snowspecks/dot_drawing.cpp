#include <algorithm>
#include <cmath>

#include "dot_scene.h"

DotFootprint dotFootprint(const Vec3& rotated, const FrameGeometry& geo, float dotReach,
                          float falloff, int width, int height) {
    // The scene cube of this plug-in is as wide as the larger side.
    const float size = depthCue(rotated.z, geo.m) * dotReach;
    DotFootprint dot;
    // No perspective: depth changes only the size and spread of a dot.
    dot.cx = static_cast<int>(rotated.x) + width / 2;
    dot.cy = static_cast<int>(rotated.y) + height / 2;
    dot.reach = static_cast<int>(size);
    if (dot.reach <= 10) dot.reach = 10;
    dot.slope = static_cast<int>(falloff / size);
    return dot;
}

void buildDistanceTable(std::vector<int32_t>& table) {
    table.assign(size_t(kDistanceSide) * kDistanceSide, 0);
    for (int y = 0; y < kDistanceSide; ++y)
        for (int x = 0; x < kDistanceSide; ++x)
            table[size_t(y) * kDistanceSide + x] =
                static_cast<int32_t>(std::sqrt(double(x) * double(x) + double(y) * double(y)));
}

namespace {

// Brightness of a pixel at integer distance `dist` from the centre, added
// to its accumulator. The fall-off is (dist x slope) / 256, at most 255.
inline void light(int32_t& cell, int32_t dist, int slope) {
    int32_t fall = (dist * slope) >> 8;
    if (fall > 255) fall = 255;
    const int32_t sum = cell + 255 - fall;
    cell = sum < 255 ? sum : 255;
}

}  // namespace

void drawCone(int32_t* accum, int width, int height, const int32_t* distanceTable,
              const DotFootprint& dot, int rowBegin, int rowEnd) {
    if (rowEnd < 0) rowEnd = height;
    // The square of offsets -reach..reach-1, cut to the frame. Pixels whose
    // fall-off reaches 255 add nothing: lit ones have (dist x slope) >> 8
    // below 255, i.e. dist x slope <= 255 x 256 - 1 = 65279, and dist is at
    // least the larger of the two offsets, so the square is cut to that span
    // too. The picture is the same; dim or small dots just cost less.
    const int litSpan = dot.slope > 0 ? 65279 / dot.slope : dot.reach;
    const int lo = -std::min(dot.reach, litSpan);
    const int hi = std::min(dot.reach - 1, litSpan);
    const int dx0 = std::max(lo, -dot.cx);
    const int dx1 = std::min(hi, width - 1 - dot.cx);
    const int dy0 = std::max(lo, std::max(rowBegin, 0) - dot.cy);
    const int dy1 = std::min(hi, std::min(rowEnd, height) - 1 - dot.cy);
    if (dx0 > dx1 || dy0 > dy1) return;
    const int leftEnd = std::min(dx1, -1);  // last offset left of the centre
    const int rightStart = std::max(dx0, 0);
    const int slope = dot.slope;
    for (int dy = dy0; dy <= dy1; ++dy) {
        const int32_t* dist = distanceTable + size_t(dy < 0 ? -dy : dy) * kDistanceSide;
        int32_t* row = accum + size_t(dot.cy + dy) * size_t(width);
        // Left of the centre the distances run backwards through the table.
        for (int dx = dx0; dx <= leftEnd; ++dx) light(row[dot.cx + dx], dist[-dx], slope);
        for (int dx = rightStart; dx <= dx1; ++dx) light(row[dot.cx + dx], dist[dx], slope);
    }
}

void writeGreyPicture(const int32_t* accum, size_t pixelCount, int bytesPerPixel, uint8_t* out) {
    // One pass: the three colour bytes take the accumulator's low byte, a
    // fourth byte (32-bit frames) is 255.
    if (bytesPerPixel == 4) {
        for (size_t i = 0; i < pixelCount; ++i) {
            const uint8_t grey = static_cast<uint8_t>(accum[i]);
            uint8_t* px = out + 4 * i;
            px[0] = grey;
            px[1] = grey;
            px[2] = grey;
            px[3] = 255;
        }
    } else {
        for (size_t i = 0; i < pixelCount; ++i) {
            const uint8_t grey = static_cast<uint8_t>(accum[i]);
            uint8_t* px = out + size_t(bytesPerPixel) * i;
            px[0] = grey;
            px[1] = grey;
            px[2] = grey;
        }
    }
}
