// Drives a built plug-in through plugMain exactly as a FreeFrame host does,
// with the host library underneath, plus what only tests need: raw answers,
// deliberately poisoned records, and notices captured from standard error.
#pragma once

#include <cstdint>
#include <string>
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

}  // namespace vyrtest
