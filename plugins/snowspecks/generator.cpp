// VyrSnowSpecks1: up to 16 white dots pulled about by 64 fixed attractors,
// rotated about the picture centre and drawn as grey cones of light.
#include <algorithm>
#include <atomic>
#include <iterator>
#include <new>

#include "dot_scene.h"
#include "parallel_bands.h"
#include "plug_obj.h"

namespace {

// Rows go through the cones and the grey output in bands small enough that
// their accumulators stay in cache between the two; the frame itself is
// written once.
constexpr int kBandRows = 16;

// Makes sure there are `sets` band accumulator sets; answers false when
// memory ran out (the sets there are stay usable).
bool provideBandAccum(PlugObj& obj, int sets) {
    const size_t cells = size_t(kBandRows) * size_t(obj.width());
    try {
        while (int(obj.bandAccum.size()) < sets) obj.bandAccum.emplace_back(cells, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

void createScene(PlugObj& obj) {
    buildDistanceTable(obj.distanceTable);
    obj.bandAccum.clear();
    if (!provideBandAccum(obj, teamThreadLimit())) throw std::bad_alloc();
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
// to place dots (halfSpanWhole would be 0), so it stays black and unseeded.
bool moveDots(PlugObj& obj, const SnowSettings& s, const FrameGeometry& geo) {
    if (!s.drawOn || geo.halfSpanWhole < 1) {
        obj.particlesSeeded = false;
        return false;
    }
    if (!obj.particlesSeeded)
        seedScene(obj, s.dotCount, geo, obj.randomSource);  // drawn where placed; motion starts next frame
    else
        stepDots(obj);
    return true;
}

// Where this frame's dots land; answers how many there are.
int placeDots(const PlugObj& obj, const FrameGeometry& geo, float dotReach, float falloff, DotFootprint* dots) {
    const ViewRotation rot = viewRotation(obj.rotX, obj.rotY, obj.rotZ);
    for (int i = 0; i < obj.particleCount; ++i) {
        const Vec3& at = obj.particlePos[i];
        const Vec3 p = rotateIntoView(rot, at.x, at.y, at.z);
        dots[i] = dotFootprint(p, geo, dotReach, falloff, obj.width(), obj.height());
    }
    return obj.particleCount;
}

}  // namespace

namespace {

SnowSettings settingsOf(const PlugObj& obj) {
    float param[kNumParams];
    obj.copyParams(param);
    return snowSettings(param);
}

}  // namespace

void advanceScene(PlugObj& obj) {
    const SnowSettings s = settingsOf(obj);
    obj.rotX = s.rotX;
    obj.rotY = s.rotY;
    obj.rotZ = s.rotZ;
    moveDots(obj, s, frameGeometry(obj.width(), obj.height()));
}

int drawScene(PlugObj& obj, const FrameMultiStruct& frame) {
    const int w = obj.width();
    const int h = obj.height();
    const int bytesPerPixel = frame.inputs[0]->bytesPerPixel;
    // A source: the input picture is never read (the framework clears it
    // where its caller can see it).
    const FrameGeometry geo = frameGeometry(w, h);
    const SnowSettings s = settingsOf(obj);

    // Only a seeded scene is drawn: moveDots unseeds it when it is off.
    DotFootprint dots[kMaxDots];
    const int dotCount = obj.particlesSeeded ? placeDots(obj, geo, s.dotReach, s.falloff, dots) : 0;
    const int32_t* table = obj.distanceTable.data();
    uint8_t* out = static_cast<uint8_t*>(frame.outputs[0]->pixels);
    // No more bands run at once than the loop has threads, so each finds a
    // free set of accumulators among that many.
    const int sets = teamThreadLimit();
    if (!provideBandAccum(obj, sets)) return -1;
    std::vector<int32_t>* accumSets = obj.bandAccum.data();
    std::atomic<bool> taken[kMaxTeamThreads];
    for (std::atomic<bool>& t : taken) t.store(false, std::memory_order_relaxed);
    forEachBand(h, BandSplit{kBandRows, w}, [=, &dots, &taken](int top, int end) {
        int set = 0;
        while (taken[set].exchange(true, std::memory_order_acquire)) set = (set + 1) % sets;
        int32_t* rows = accumSets[set].data();
        ColumnSpan lit = {w, 0};
        for (int i = 0; i < dotCount; ++i) {
            const ColumnSpan c = drawCone(rows, w, h, table, dots[i], top, end);
            if (c.begin < c.end) lit = {std::min(lit.begin, c.begin), std::max(lit.end, c.end)};
        }
        writeGreyRows(rows, w, end - top, lit, bytesPerPixel, out + size_t(top) * size_t(w) * size_t(bytesPerPixel));
        taken[set].store(false, std::memory_order_release);
    });
    return 0;
}

void saveMotion(const PlugObj& obj, SceneMotion& motion) {
    motion.particlesSeeded = obj.particlesSeeded;
    motion.particleCount = obj.particleCount;
    std::copy(std::begin(obj.attractors), std::end(obj.attractors), motion.attractors);
    std::copy(std::begin(obj.particlePos), std::end(obj.particlePos), motion.particlePos);
    std::copy(std::begin(obj.particleVel), std::end(obj.particleVel), motion.particleVel);
}

void restoreMotion(PlugObj& obj, const SceneMotion& motion) {
    obj.particlesSeeded = motion.particlesSeeded;
    obj.particleCount = motion.particleCount;
    std::copy(std::begin(motion.attractors), std::end(motion.attractors), obj.attractors);
    std::copy(std::begin(motion.particlePos), std::end(motion.particlePos), obj.particlePos);
    std::copy(std::begin(motion.particleVel), std::end(motion.particleVel), obj.particleVel);
}

void prepareTrail(PlugObj&, TrailStep) {}  // every picture is drawn from black
