// Drives a built plug-in through plugMain exactly as a FreeFrame host does:
// the library is loaded with dlopen, records are laid out by the host, and
// notices written to standard error are captured.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ffapi.h"

namespace vyrtest {

// Path of a built FreeFrame plug-in, e.g. pluginPath("VyrSnowSpecks1").
std::string pluginPath(const std::string& name);

// The four deliverables, for tests that run over all of them.
const std::vector<std::string>& allPluginNames();

class PluginLibrary {
   public:
    explicit PluginLibrary(const std::string& name);  // loads build/plugins/<name>.so
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& name() const { return name_; }
    void* handle() const { return handle_; }

    // Raw calls; the answer's 32-bit word or its address.
    uint32_t call(uint32_t code, uint32_t value, void* instance = nullptr) const;
    uint32_t callPtr(uint32_t code, const void* value, void* instance = nullptr) const;
    void* callForAddress(uint32_t code, uint32_t value, void* instance = nullptr) const;
    FFMixed callMixed(uint32_t code, FFMixed value, void* instance) const;

    const PlugInfoStruct* info() const;
    const PlugExtendedInfoStruct* extendedInfo() const;
    uint32_t numParameters() const;
    std::string parameterName(uint32_t index) const;
    float parameterDefault(uint32_t index) const;
    int parameterIndex(const std::string& name) const;  // -1 when unknown

   private:
    std::string name_;
    void* handle_ = nullptr;
    FFPlugMain plugMain_ = nullptr;
};

// One instance, destroyed with the object.
class Instance {
   public:
    Instance(const PluginLibrary& lib, uint32_t width, uint32_t height, uint32_t bitDepth = ff::kDepth32);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool ok() const { return id_ != nullptr; }
    void* id() const { return id_; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    uint32_t bytesPerPixel() const { return bpp_; }
    size_t frameBytes() const { return size_t(width_) * height_ * bpp_; }

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
    void* id_ = nullptr;
    uint32_t width_, height_, bpp_;
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
