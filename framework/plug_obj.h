// The instance object. The framework's members come first, then the
// plug-in's own scene members (`SceneMembers`, from its `plugin_members.h`,
// which also brings in its params.h with `kNumParams`). Each plug-in
// compiles the framework with its own header, so there is no virtual
// dispatch anywhere: the dispatcher calls these operations directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "descriptor.h"
#include "ffapi.h"
#include "plugin_members.h"
#include "random_source.h"

struct PlugObjBase {
    bool fMultiReady = false;
    FrameMultiStruct* fMulti = nullptr;
    ParamValueStruct paramValues[kNumParams] = {};
    VideoInfoStruct videoInfo = {};
    // Every random number the generator draws; rand() unless the host face
    // gives the instance a sequence of its own.
    RandomSource randomSource;
};

struct PlugObj : PlugObjBase, SceneMembers {
    int width() const { return static_cast<int32_t>(videoInfo.FrameWidth); }
    int height() const { return static_cast<int32_t>(videoInfo.FrameHeight); }
    // 4 for 32-bit frames, 3 for 24-bit ones (and 2 for the refused 16-bit code).
    int bytesPerPixel() const;
    size_t frameBytes() const;  // width x height x bytes per pixel
    float param(int index) const { return paramValues[index].value; }
    // All values, in table order, for a plug-in's per-frame settings function.
    void copyParams(float (&out)[kNumParams]) const {
        for (int i = 0; i < kNumParams; ++i) out[i] = paramValues[i].value;
    }

    void clampParams();

    // Per-instance parameter operations; the index is checked by the caller.
    void setParameter(uint32_t index, float value) { paramValues[index].value = value; }
    float getParameter(uint32_t index) const { return paramValues[index].value; }
    const char* getParameterDisplay(uint32_t index);

    // Frame operations: 0 on success, -1 on failure.
    int processFrame(void* pFrame);
    int processFrameCopy(const ProcessFrameCopyStruct* pCopy);
    // The common beginning of every generator, then one step of the
    // plug-in's scene and its picture (advanceScene, drawScene).
    // `pFrameData` may be fMulti or a caller's record; a
    // caller's record is rendered from in place, never copied into fMulti.
    int processFrameMulti(FrameMultiStruct* pFrameData);

    // For a face that addresses frames by time: runs the scene `steps`
    // steps on without drawing, and draws the scene where it stands (a
    // processFrameCopy without its step).
    void advanceSteps(int64_t steps);
    int drawFrameCopy(const ProcessFrameCopyStruct* pCopy);

   private:
    FrameImageStruct hostImage(void* pixels) const;
    void releaseUnusedSlots();
    bool recordIsUsable(const FrameMultiStruct& frame) const;
    int copyFrame(const ProcessFrameCopyStruct* pCopy, bool step);
    int renderHostFrames(FrameImageStruct& in, FrameImageStruct& out, bool step);
    int runGenerator(FrameMultiStruct* pFrameData, bool callersRecord, bool step = true);
};

// Creates an instance for the host's frame format; nullptr when the format
// is refused or memory cannot be obtained (nothing is then left allocated).
// The instance draws its random numbers from `randomSource`; the FreeFrame
// face's instances draw from rand().
PlugObj* instantiate(const VideoInfoStruct* pVideoInfo, const RandomSource& randomSource = RandomSource());
// 0, or -1 for a null instance.
int deInstantiate(PlugObj* pPlugObj);

void releaseSlot(FrameImageStruct* slot);

// Supplied by each plug-in.
// Builds the scene members after the framework has made the instance ready.
// May throw std::bad_alloc; owned buffers are released by the members'
// own destructors when the instance is deleted.
void createScene(PlugObj& obj);
// One step of the scene for the instance's clamped parameter values:
// everything a frame changes in the instance before it is drawn, with all of
// the frame's random draws, and no drawing. A face that addresses frames by
// time runs the motion forward with it.
void advanceScene(PlugObj& obj);
// Draws the scene as advanceScene left it into output slot 0 of `frame`,
// whose slot 0 buffers are
// checked: non-null, the instance's width and height, 3 or 4 bytes per
// pixel, the same in both slots. Answers 0.
// The slot 0 buffers may be the host's own frames, and one buffer for an
// in-place frame: a generator never writes input slot 0, reads every input
// byte it needs before it first writes the output, and writes every byte of
// the output. (A source's input of a caller's record is cleared by the
// framework beforehand.)
int drawScene(PlugObj& obj, const FrameMultiStruct& frame);

// The state advanceScene carries from one step to the next (`SceneMotion`,
// declared in plugin_members.h), copied out and back by a face that keeps
// checkpoints of the motion. The random source is the framework's to copy.
void saveMotion(const PlugObj& obj, SceneMotion& motion);
void restoreMotion(PlugObj& obj, const SceneMotion& motion);

// What the next drawScene does with the picture's memory of earlier frames
// (an effect's feedback trail; the sources have none).
enum class TrailStep {
    Next,    // continues it: the frame follows the one drawn last
    Again,   // draws the last frame again, against the memory it was drawn with
    Afresh,  // restarts it, as if the frame before had shown this very picture
    Start,   // restarts it from black, as at an instance's first frame
};
void prepareTrail(PlugObj& obj, TrailStep step);
