// The stages of one VyrBrushDrift1 frame, in the order the frame flows:
// the canvas is filled from the input, the swarm stamps its brush dots on
// it, the paint is weighted by coverage into workFrame, a brightness band is
// swirled into the output, and the output is blended with the last one.
//
// The stages work on the scene members and the frame's shape only, so they
// can be driven without a host. Each works on a range of rows (by default
// the whole frame) and writes only those rows, so the frame runs them in
// bands through forEachBand (parallel_bands.h): canvas, dots and coverage
// band by band while a band is in cache, then swirl and blend likewise once
// workFrame is complete (the swirl fetches from anywhere in it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "blob_view.h"
#include "plugin_members.h"

struct FrameShape {
    int width;
    int height;
    int bytesPerPixel;  // 3 or 4
    int pixelCount() const { return width * height; }
};

// Quantities of a frame that depend on its size only.
struct FrameGeometry {
    float sceneSpan;   // S: edge of the scene cube, 1.2 x the larger side
    float frameScale;  // K: width / 384, the unit of sizes and speeds
};

FrameGeometry frameGeometry(int width, int height);

// Everything a frame derives from the (already clamped) parameter values.
struct BrushSettings {
    float dotScale;                // D: largest brush dot diameter in pixels
    float speed;                   // V: step length of the motion
    int particleCount;             // n: particles moved and painted, 1..1024
    int zoom;                      // Z: swirl zoom in 1/256 units at the band centre, 0..1024
    int bandCentre;                // Vc: centre of the swirled brightness band, 0..255
    int bandHalfWidth;             // R: half-width of the band, 1..255
    int rotation;                  // r: swirl angle, 65536 steps per turn
    float angleX, angleY, angleZ;  // view rotation of the swarm, radians
    int alphaMode;                 // m: 0, 1 or 2
    int feedback;                  // a: weight of the previous output, 0..255
    int inputGain;                 // k: gain of the input on the canvas, 0..255
};

BrushSettings deriveSettings(const float (&params)[kNumParams], const ModeRecord& mode, float frameScale);

// Puts the input picture, times inputGain (k, 0..255) modulo 256, on the
// canvas, with the alpha byte chosen by alphaMode (m, 0..2). Writes every
// byte of every canvas cell, so the canvas needs no clearing before it.
void fillCanvasFromInput(SceneMembers& scene, const FrameShape& shape, const uint8_t* input, int inputGain,
                         int alphaMode, int rowBegin = 0, int rowEnd = -1);

// How the swarm's brush dots are placed: rotated by the view, projected
// straight onto the frame, dotScale pixels wide at full nearness, their
// coverage strength growing with nearness from about 0.4 to 1.
BlobView brushView(const FrameShape& shape, const ViewRotation& view, float dotScale, float sceneSpan);

// Particle p's dot with its paint; false when it lies wholly off the frame.
bool placeDot(const ParticleRecord& p, const BlobView& view, BrushDot& out);

// placeDots, then the dots stamped onto the canvas and coverageMap of the
// whole frame in particle order: a later dot paints over an earlier one.
void paintDots(SceneMembers& scene, const FrameShape& shape, int n, const ViewRotation& view, float dotScale,
               float sceneSpan);

// Places the dots of particles 0..n-1 (those on the frame, in particle
// order) in scene.dots and scene.dotCount.
void placeDots(SceneMembers& scene, const FrameShape& shape, int n, const ViewRotation& view, float dotScale,
               float sceneSpan);

// Stamps dots 0..n-1 of scene.dots (already placed) in order.
void stampDots(SceneMembers& scene, const FrameShape& shape, int n, int rowBegin = 0, int rowEnd = -1);

// workFrame = canvas colour weighted by coverage, alpha by alphaMode (m):
// 255 for 0, the weighted canvas alpha for 1, the input pixels' alpha for 2.
void composeCoverage(SceneMembers& scene, const FrameShape& shape, int alphaMode, const uint8_t* input,
                     int rowBegin = 0, int rowEnd = -1);

// Fills sinCosTable and thirdTable, once per instance.
void buildSwirlTables(SceneMembers& scene);

struct SwirlSettings {
    int bandCentre;     // Vc
    int bandHalfWidth;  // R, at least 1
    int zoom;           // Z
    int rotation;       // r, 0..65535
};

// Writes every output pixel from workFrame: pixels whose mean brightness is
// within R of Vc are fetched from a rotated, zoomed position (wrapping
// round the frame edges); the rest are copied.
void swirlValueBand(const SceneMembers& scene, const FrameShape& shape, uint8_t* output, const SwirlSettings& swirl,
                    int rowBegin = 0, int rowEnd = -1);

// Constant-alpha compositing of two pictures into a destination (which may
// be either of them). 4-byte pixels: 'plus' on the colour bytes, the
// destination's alpha byte left alone. 3-byte pixels: 'first over second'
// on every byte. Both round to the nearest integer.
void compositeConstAlpha(const uint8_t* first, int alpha1, const uint8_t* second, int alpha2, uint8_t* destination,
                         int width, int height, int bytesPerPixel, int rowBegin = 0, int rowEnd = -1);

// Blends the output (weight 255 - feedback) with the previous output in
// feedbackFrame (weight feedback, a, 0..255), and leaves the result in both;
// alphaMode (m) 2 makes it opaque.
void blendFeedback(SceneMembers& scene, const FrameShape& shape, uint8_t* output, int feedback, int alphaMode,
                   int rowBegin = 0, int rowEnd = -1);
