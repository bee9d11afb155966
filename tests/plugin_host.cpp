#include "plugin_host.h"

#include <stdio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#ifndef VYR_PLUGIN_DIR
#error "VYR_PLUGIN_DIR must name the folder of the built plug-ins"
#endif

namespace vyrtest {

std::string pluginPath(const std::string& name) { return std::string(VYR_PLUGIN_DIR) + "/" + name + ".so"; }

const std::vector<std::string>& allPluginNames() {
    static const std::vector<std::string> names = {"VyrSnowSpecks1", "VyrGlobHeap1", "VyrGlobSwirl1",
                                                   "VyrBrushDrift1"};
    return names;
}

PluginLibrary::PluginLibrary(const std::string& name)
    : ffhost::Library(pluginPath(name), Unload::never), name_(name) {}

const PlugInfoStruct* PluginLibrary::info() const {
    return static_cast<const PlugInfoStruct*>(callValue(ff::kGetInfo, 0).PointerValue);
}

const PlugExtendedInfoStruct* PluginLibrary::extendedInfo() const {
    return static_cast<const PlugExtendedInfoStruct*>(callValue(ff::kGetExtendedInfo, 0).PointerValue);
}

uint32_t PluginLibrary::numParameters() const { return call(ff::kGetNumParameters, 0); }

std::string PluginLibrary::parameterName(uint32_t index) const {
    const char* p = static_cast<const char*>(callValue(ff::kGetParameterName, index).PointerValue);
    return std::string(p, strnlen(p, 16));
}

float PluginLibrary::parameterDefault(uint32_t index) const {
    return ffhost::floatFromWord(call(ff::kGetParameterDefault, index));
}

int PluginLibrary::parameterIndex(const std::string& name) const {
    const uint32_t n = numParameters();
    for (uint32_t i = 0; i < n; ++i)
        if (parameterName(i) == name) return int(i);
    return -1;
}

Instance::Instance(const PluginLibrary& lib, uint32_t width, uint32_t height, uint32_t bitDepth)
    : lib_(lib), inst_(lib, int(width), int(height), bitDepth == ff::kDepth24 ? 24 : 32) {}

uint32_t Instance::setParameter(uint32_t index, float value) {
    SetParameterStruct sp;
    std::memset(&sp, 0xAB, sizeof sp);  // hosts leave the upper half of the value unset
    sp.ParameterNumber = index;
    sp.NewParameterValue.FloatValue = value;
    return lib_.callPtr(ff::kSetParameter, &sp, id()).UIntValue;
}

uint32_t Instance::setParameter(const std::string& name, float value) {
    int index = lib_.parameterIndex(name);
    if (index < 0) throw std::runtime_error("no parameter " + name + " in " + lib_.name());
    return setParameter(uint32_t(index), value);
}

float Instance::getParameter(uint32_t index) const { return ffhost::floatFromWord(lib_.call(ff::kGetParameter, index, id())); }

std::string Instance::displayText(uint32_t index) const {
    const char* p = static_cast<const char*>(lib_.callValue(ff::kGetParameterDisplay, index, id()).PointerValue);
    return std::string(p, 16);
}

uint32_t Instance::processFrame(std::vector<uint8_t>& frame) {
    return lib_.callPtr(ff::kProcessFrame, frame.data(), id()).UIntValue;
}

uint32_t Instance::processFrameCopy(const std::vector<const uint8_t*>& inputs, std::vector<uint8_t>& output) {
    std::vector<void*> in(inputs.size() + 1, nullptr);
    for (size_t i = 0; i < inputs.size(); ++i) in[i] = const_cast<uint8_t*>(inputs[i]);
    ProcessFrameCopyStruct pfc;
    pfc.numInputFrames = uint32_t(inputs.size());
    pfc.ppInputFrames = in.data();
    pfc.pOutputFrame = output.data();
    return lib_.callPtr(ff::kProcessFrameCopy, &pfc, id()).UIntValue;
}

uint32_t Instance::processFrameMulti(FrameMultiStruct* record) {
    return lib_.callPtr(ff::kProcessFrameMulti, record, id()).UIntValue;
}

std::vector<uint8_t> Instance::renderFrame() {
    std::vector<uint8_t> frame(frameBytes(), 0);
    if (processFrame(frame) != 0) throw std::runtime_error("processFrame failed in " + lib_.name());
    return frame;
}

CallerRecord::CallerRecord(const std::vector<uint8_t>& input, int w, int h, int bpp)
    : inPixels(input), outPixels(input.size(), 0) {
    in = {ff::kFormatPacked8, bpp, inPixels.data(), w, h, nullptr, 0, 0};
    out = {ff::kFormatPacked8, bpp, outPixels.data(), w, h, nullptr, 0, 0};
    record.numInputs = 1;
    record.inputs[0] = &in;
    record.numOutputs = 1;
    record.outputs[0] = &out;
}

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    char path[] = "/tmp/vyr-stderr-XXXXXX";
    fileFd_ = mkstemp(path);
    if (fileFd_ < 0) throw std::runtime_error("mkstemp");
    unlink(path);
    savedFd_ = dup(STDERR_FILENO);
    dup2(fileFd_, STDERR_FILENO);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    dup2(savedFd_, STDERR_FILENO);
    close(savedFd_);
    close(fileFd_);
}

std::string StderrCapture::text() {
    std::fflush(stderr);
    std::string out;
    char buf[4096];
    off_t pos = 0;
    for (;;) {
        ssize_t n = pread(fileFd_, buf, sizeof buf, pos);
        if (n <= 0) break;
        out.append(buf, size_t(n));
        pos += n;
    }
    return out;
}

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex64(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace vyrtest
