#include <algorithm>
#include <cmath>

#include "dot_scene.h"
#include "isa.h"

DotFootprint dotFootprint(const Vec3& rotated, const FrameGeometry& geo, float dotReach, float falloff, int width,
                          int height) {
    // The scene cube of this plug-in is as wide as the larger side.
    const float size = depthCue(rotated.z, geo.span) * dotReach;
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

// cone_kernels.cpp, once per instruction-set path.
VYR_DECLARE_ISA_KERNEL(void, lightSpan, (int32_t * cells, const int32_t* dist, int count, int32_t slope))
VYR_DECLARE_ISA_KERNEL(void, lightSpanBackwards, (int32_t * cells, const int32_t* dist, int count, int32_t slope))
VYR_DECLARE_ISA_KERNEL(void, greySpan, (int32_t * cells, int count, int bytesPerPixel, uint8_t* out))
VYR_DECLARE_ISA_KERNEL(void, blackSpan, (uint8_t * out, size_t count, int bytesPerPixel))

ColumnSpan drawCone(int32_t* accum, int width, int height, const int32_t* distanceTable, const DotFootprint& dot,
                    int rowBegin, int rowEnd) {
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
    const int top = std::max(rowBegin, 0);
    const int dy0 = std::max(lo, top - dot.cy);
    const int dy1 = std::min(hi, std::min(rowEnd, height) - 1 - dot.cy);
    if (dx0 > dx1 || dy0 > dy1) return {0, 0};
    const int leftEnd = std::min(dx1, -1);  // last offset left of the centre
    const int rightStart = std::max(dx0, 0);
    const int slope = dot.slope;
    const auto right = VYR_PICK_ISA_KERNEL(lightSpan);
    const auto left = VYR_PICK_ISA_KERNEL(lightSpanBackwards);
    for (int dy = dy0; dy <= dy1; ++dy) {
        const int32_t* dist = distanceTable + size_t(dy < 0 ? -dy : dy) * kDistanceSide;
        int32_t* row = accum + size_t(dot.cy + dy - top) * size_t(width);
        // Left of the centre the distances run backwards through the table.
        if (dx0 <= leftEnd) left(row + dot.cx + dx0, dist - dx0, leftEnd - dx0 + 1, slope);
        if (rightStart <= dx1) right(row + dot.cx + rightStart, dist + rightStart, dx1 - rightStart + 1, slope);
    }
    return {dot.cx + dx0, dot.cx + dx1 + 1};
}

void writeGreyRows(int32_t* accum, int width, int rows, ColumnSpan lit, int bytesPerPixel, uint8_t* out) {
    const auto black = VYR_PICK_ISA_KERNEL(blackSpan);
    if (lit.begin >= lit.end) {
        black(out, size_t(width) * size_t(rows), bytesPerPixel);
        return;
    }
    const auto grey = VYR_PICK_ISA_KERNEL(greySpan);
    const size_t rowBytes = size_t(width) * size_t(bytesPerPixel);
    for (int y = 0; y < rows; ++y) {
        uint8_t* line = out + size_t(y) * rowBytes;
        black(line, size_t(lit.begin), bytesPerPixel);
        grey(accum + size_t(y) * size_t(width) + lit.begin, lit.end - lit.begin, bytesPerPixel,
             line + size_t(lit.begin) * size_t(bytesPerPixel));
        black(line + size_t(lit.end) * size_t(bytesPerPixel), size_t(width - lit.end), bytesPerPixel);
    }
}
