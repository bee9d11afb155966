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
    static const std::vector<std::string> names = {"VyrSnowSpecks1", "VyrGlobHeap1", "VyrGlobSwirl1", "VyrBrushDrift1"};
    return names;
}

PluginLibrary::PluginLibrary(const std::string& name) : ffhost::Library(pluginPath(name), Unload::never), name_(name) {}

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

void Instance::set(const Settings& settings) {
    for (const auto& s : settings)
        if (setParameter(s.first, s.second) != 0) throw std::runtime_error("refused " + s.first + " in " + lib_.name());
}

void Instance::setAll(const std::vector<float>& values) {
    for (size_t i = 0; i < values.size(); ++i) setParameter(uint32_t(i), values[i]);
}

float Instance::getParameter(uint32_t index) const {
    return ffhost::floatFromWord(lib_.call(ff::kGetParameter, index, id()));
}

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

std::vector<uint8_t> texturedPicture(uint32_t w, uint32_t h, uint32_t bpp, unsigned seed) {
    std::vector<uint8_t> p(size_t(w) * h * bpp);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* px = &p[(size_t(y) * w + x) * bpp];
            px[0] = uint8_t(x * 255 / (w > 1 ? w - 1 : 1) + seed * 29);
            px[1] = uint8_t(y * 255 / (h > 1 ? h - 1 : 1) + seed * 53);
            px[2] = uint8_t((x ^ y) * 7 + seed * 97);
            if (bpp == 4) px[3] = uint8_t(128 + (x + y + seed) % 128);
        }
    return p;
}

std::vector<uint8_t> texturedPicture(const Instance& inst, unsigned seed) {
    return texturedPicture(inst.width(), inst.height(), inst.bytesPerPixel(), seed);
}

::testing::AssertionResult samePicture(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t bpp) {
    if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        const size_t first = i - i % bpp;
        ::testing::AssertionResult r = ::testing::AssertionFailure();
        r << "pixel " << i / bpp << " differs first, at byte " << i % bpp << ":";
        for (size_t k = first; k < first + bpp && k < a.size(); ++k) r << " " << int(a[k]);
        r << " vs";
        for (size_t k = first; k < first + bpp && k < b.size(); ++k) r << " " << int(b[k]);
        return r;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult everyByteIs(const std::vector<uint8_t>& bytes, uint8_t value) {
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != value)
            return ::testing::AssertionFailure()
                   << "byte " << i << " of " << bytes.size() << " is " << int(bytes[i]) << ", not " << int(value);
    return ::testing::AssertionSuccess();
}

std::vector<float> someValues(uint32_t count, uint32_t variant) {
    std::vector<float> v(count);
    for (uint32_t i = 0; i < count; ++i) v[i] = 0.15f + 0.07f * float((i * 7 + variant * 3) % 11);
    return v;
}

}  // namespace vyrtest
