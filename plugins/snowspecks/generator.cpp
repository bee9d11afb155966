// VyrSnowSpecks1: up to 16 white dots pulled about by 64 fixed attractors,
// rotated about the picture centre and drawn as grey cones of light.
#include <algorithm>

#include "dot_scene.h"
#include "plug_obj.h"

void createScene(PlugObj& obj) {
    buildDistanceTable(obj.distanceTable);
    obj.accumBuffer.resize(size_t(obj.width()) * size_t(obj.height()));
    for (Vec3& a : obj.attractors) a = {0.0f, 0.0f, 0.0f};
    obj.numAttractors = kNumAttractors;
    for (int i = 0; i < kMaxDots; ++i) {
        obj.particlePos[i] = {0.0f, 0.0f, 0.0f};
        obj.particleVel[i] = {0.0f, 0.0f, 0.0f};
    }
    obj.particleCount = kMaxDots;
    obj.rotX = obj.rotY = obj.rotZ = 0.0f;
    obj.particlesSeeded = false;
}

namespace {

// Seeds the scene, moves it, or switches it off; answers whether it is
// drawn this frame. A frame whose larger side is below 2 pixels has no room
// to place dots (half would be 0), so it stays black and unseeded.
bool advanceScene(PlugObj& obj, const SnowSettings& s, const FrameGeometry& geo) {
    if (!s.drawOn || geo.half < 1) {
        obj.particlesSeeded = false;
        return false;
    }
    if (!obj.particlesSeeded)
        seedScene(obj, s.dotCount, geo, obj.randomSource);  // drawn where placed; motion starts next frame
    else
        stepDots(obj);
    return true;
}

void drawDots(PlugObj& obj, const FrameGeometry& geo, float dotReach, float falloff) {
    const ViewRotation rot = viewRotation(obj.rotX, obj.rotY, obj.rotZ);
    for (int i = 0; i < obj.particleCount; ++i) {
        const Vec3& at = obj.particlePos[i];
        const Vec3 p = rotateIntoView(rot, at.x, at.y, at.z);
        const DotFootprint dot = dotFootprint(p, geo, dotReach, falloff, obj.width(), obj.height());
        drawCone(obj.accumBuffer.data(), obj.width(), obj.height(), obj.distanceTable.data(), dot);
    }
}

}  // namespace

int renderFrame(PlugObj& obj, const FrameMultiStruct& frame) {
    const int w = obj.width();
    const int h = obj.height();
    const int bpp = frame.inputs[0]->bytesPerPixel;
    const size_t pixelCount = size_t(w) * size_t(h);

    // A source: the input picture is never read (the framework clears it
    // where its caller can see it).

    const FrameGeometry geo = frameGeometry(w, h);
    float param[kNumParams];
    obj.copyParams(param);
    const SnowSettings s = snowSettings(param);
    obj.rotX = s.rotX;
    obj.rotY = s.rotY;
    obj.rotZ = s.rotZ;

    const bool drawn = advanceScene(obj, s, geo);
    std::fill(obj.accumBuffer.begin(), obj.accumBuffer.end(), 0);
    if (drawn) drawDots(obj, geo, s.dotReach, s.falloff);
    writeGreyPicture(obj.accumBuffer.data(), pixelCount, bpp, static_cast<uint8_t*>(frame.outputs[0]->pixels));
    return 0;
}
