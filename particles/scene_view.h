// The scene seen from the viewer, for every plug-in that draws a cloud of
// points: the cube the points live in, the angles a parameter asks for, the
// rotation into view and the depth cue. One scene unit is one pixel and the
// cube's centre is drawn at the centre of the frame.
#pragma once

#include <algorithm>
#include <cmath>

constexpr double kPi = 3.14159265358979323846;

struct Vec3 {
    float x, y, z;
};

// S: the edge of the scene cube for a width x height frame, 1.2 times the
// larger side, so that the cloud overfills the frame a little.
inline float sceneSpan(int width, int height) { return 1.2f * static_cast<float>(std::max(width, height)); }

// The rotation angle of a parameter value v in radians: (v - 0.5) x 2 pi,
// half a turn either way, formed in double precision and stored as float.
inline float angleFromParam(float v) { return static_cast<float>((static_cast<double>(v) - 0.5) * (2.0 * kPi)); }

// Sines and cosines of the three view angles, taken once per frame.
struct ViewRotation {
    float sX, cX, sY, cY, sZ, cZ;
};

inline ViewRotation viewRotation(float angleX, float angleY, float angleZ) {
    return {std::sin(angleX), std::cos(angleX), std::sin(angleY), std::cos(angleY), std::sin(angleZ), std::cos(angleZ)};
}

// Turns (x, y, z) about X, then Y, then Z. The order of every product and
// sum is fixed so that the pictures are the same in every build.
inline Vec3 rotateIntoView(const ViewRotation& r, float x, float y, float z) {
    const float y1 = r.cX * y - r.sX * z;
    const float z1 = r.sX * y + r.cX * z;
    const float z2 = r.cY * z1 - r.sY * x;
    const float x1 = r.sY * z1 + r.cY * x;
    const float x2 = r.cZ * x1 - r.sZ * y1;
    const float y2 = r.sZ * x1 + r.cZ * y1;
    return Vec3{x2, y2, z2};
}

// Nearness of a rotated depth: 0.01 at (and behind) the back face of the
// scene cube of edge S, 1 at the front face and beyond. A depth that is not
// a number counts as farthest.
inline float depthCue(float depth, float S) {
    float t = (depth + 0.5f * S) / S;
    if (!(t >= 0.01f)) t = 0.01f;
    if (t > 1.0f) t = 1.0f;
    return t;
}
