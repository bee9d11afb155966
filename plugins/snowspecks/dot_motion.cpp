#include <cmath>

#include "dot_scene.h"

FrameGeometry frameGeometry(int width, int height) {
    FrameGeometry geo;
    geo.span = static_cast<float>(width > height ? width : height);
    geo.spanWhole = static_cast<int>(geo.span);
    geo.halfSpanWhole = static_cast<int>(0.5f * geo.span);
    geo.halfSpan = 0.5f * geo.span;
    return geo;
}

void seedScene(SceneMembers& scene, int count, const FrameGeometry& geo, RandomSource& random) {
    scene.particlesSeeded = true;
    scene.particleCount = count;
    for (int i = 0; i < count; ++i) {
        // Three separate statements: the draw order is x, y, z.
        const int rx = random.next() % geo.halfSpanWhole;
        const int ry = random.next() % geo.halfSpanWhole;
        const int rz = random.next() % geo.halfSpanWhole;
        scene.particlePos[i] = {static_cast<float>(rx), static_cast<float>(ry), static_cast<float>(rz)};
        scene.particleVel[i] = {0.0f, 0.0f, 0.0f};
    }
    for (int a = 0; a < scene.numAttractors; ++a) {
        const int rx = random.next() % geo.spanWhole;
        const int ry = random.next() % geo.spanWhole;
        const int rz = random.next() % geo.spanWhole;
        scene.attractors[a] = {static_cast<float>(rx) - geo.halfSpan, static_cast<float>(ry) - geo.halfSpan,
                               static_cast<float>(rz) - geo.halfSpan};
    }
}

namespace {

// Each velocity component stays within -4..4 pixels per frame.
float limitSpeed(float v) {
    if (v > 4.0f) return 4.0f;
    if (v < -4.0f) return -4.0f;
    return v;
}

}  // namespace

void stepDots(SceneMembers& scene) {
    for (int i = 0; i < scene.particleCount; ++i) {
        const Vec3 p = scene.particlePos[i];
        // Every attractor pulls with strength 15 / len^2; the distance is
        // raised to 1 so that a dot sitting on an attractor gets a finite kick.
        Vec3 f = {0.0f, 0.0f, 0.0f};
        for (int a = 0; a < scene.numAttractors; ++a) {
            const Vec3& at = scene.attractors[a];
            const float dx = at.x - p.x;
            const float dy = at.y - p.y;
            const float dz = at.z - p.z;
            float len = std::sqrt((dx * dx + dy * dy) + dz * dz);
            if (len < 1.0f) len = 1.0f;
            const float g = (-150.0f / ((len * len) * len)) * 0.1f;
            f.x += dx * g;
            f.y += dy * g;
            f.z += dz * g;
        }
        Vec3& v = scene.particleVel[i];
        v.x = limitSpeed(v.x - f.x);
        v.y = limitSpeed(v.y - f.y);
        v.z = limitSpeed(v.z - f.z);
        scene.particlePos[i] = {p.x + v.x, p.y + v.y, p.z + v.z};
    }
}
