// Drives a built plug-in through plugMain exactly as a FreeFrame host does,
// with the host library underneath, plus what only tests need: raw answers,
// deliberately poisoned records, and notices captured from standard error.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "ffhost.h"

namespace vyrtest {

// Path of a built FreeFrame plug-in, e.g. pluginPath("VyrSnowSpecks1").
std::string pluginPath(const std::string& name);

// The four deliverables, for tests that run over all of them.
const std::vector<std::string>& allPluginNames();

// A built plug-in loaded by name, kept loaded for the whole test program
// (leak reports then still name its code), with the raw descriptor answers
// that tests check. Not initialised: tests call initialise where it matters.
class PluginLibrary : public ffhost::Library {
   public:
    explicit PluginLibrary(const std::string& name);  // loads build/plugins/<name>.so

    const std::string& name() const { return name_; }

    const PlugInfoStruct* info() const;
    const PlugExtendedInfoStruct* extendedInfo() const;
    uint32_t numParameters() const;
    std::string parameterName(uint32_t index) const;
    float parameterDefault(uint32_t index) const;
    int parameterIndex(const std::string& name) const;  // -1 when unknown

   private:
    std::string name_;
};

// Parameter values by name, applied in order.
using Settings = std::vector<std::pair<std::string, float>>;

// One instance, destroyed with the object; instantiate must succeed. Its
// calls answer the plug-in's raw word, and its set-parameter records carry
// garbage in the upper half of the value, as some hosts leave it.
class Instance {
   public:
    Instance(const PluginLibrary& lib, uint32_t width, uint32_t height, uint32_t bitDepth = ff::kDepth32);

    void* id() const { return inst_.id(); }
    uint32_t width() const { return uint32_t(inst_.width()); }
    uint32_t height() const { return uint32_t(inst_.height()); }
    uint32_t bytesPerPixel() const { return uint32_t(inst_.bytesPerPixel()); }
    size_t frameBytes() const { return inst_.frameBytes(); }

    uint32_t setParameter(uint32_t index, float value);
    uint32_t setParameter(const std::string& name, float value);
    void set(const Settings& settings);             // each must be accepted
    void setAll(const std::vector<float>& values);  // parameters 0, 1, 2...
    float getParameter(uint32_t index) const;
    std::string displayText(uint32_t index) const;  // all 16 bytes

    // processFrame in place; answers the call's word.
    uint32_t processFrame(std::vector<uint8_t>& frame);
    uint32_t processFrameCopy(const std::vector<const uint8_t*>& inputs, std::vector<uint8_t>& output);
    uint32_t processFrameMulti(FrameMultiStruct* record);

    // Renders one frame from a zeroed buffer through processFrame.
    std::vector<uint8_t> renderFrame();

   private:
    const PluginLibrary& lib_;
    ffhost::Instance inst_;
};

// A caller's own multi-frame record for the multi-frame entry (code 16),
// with one input and one output image of its own.
struct CallerRecord {
    std::vector<uint8_t> inPixels, outPixels;
    FrameImageStruct in{}, out{};
    FrameMultiStruct record{};

    CallerRecord(const std::vector<uint8_t>& input, int w, int h, int bpp);
    CallerRecord(const CallerRecord&) = delete;
    CallerRecord& operator=(const CallerRecord&) = delete;
};

// Captures everything written to standard error (file descriptor 2) while
// it lives; notices arrive there.
class StderrCapture {
   public:
    StderrCapture();
    ~StderrCapture();
    std::string text();  // what was written so far

   private:
    int savedFd_ = -1;
    int fileFd_ = -1;
};

// A 64-bit FNV-1a hash of a buffer, for comparing pictures across builds.
uint64_t fnv1a(const std::vector<uint8_t>& bytes);
std::string hex64(uint64_t v);

// A deterministic picture with texture in every byte: gradients across and
// down, a pattern, and an alpha ramp. `seed` shifts every byte, so that the
// frames of a clip differ; seed 0 is the input of the stored reference
// pictures and must not change.
std::vector<uint8_t> texturedPicture(uint32_t width, uint32_t height, uint32_t bytesPerPixel, unsigned seed = 0);
std::vector<uint8_t> texturedPicture(const Instance& inst, unsigned seed = 0);

// Pictures compared whole; a failure names the first differing pixel and
// its bytes rather than printing the frames.
::testing::AssertionResult samePicture(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                       uint32_t bytesPerPixel = 4);
// Every byte equals `value`; a failure names the first one that does not.
::testing::AssertionResult everyByteIs(const std::vector<uint8_t>& bytes, uint8_t value);

// Values inside 0..1 for `count` parameters, a different list per variant.
std::vector<float> someValues(uint32_t count, uint32_t variant = 0);

// Advances the C library's generator by n draws, as a plug-in's seeding or
// frame would.
inline void skipDraws(long n) {
    for (long i = 0; i < n; ++i) std::rand();
}

}  // namespace vyrtest
