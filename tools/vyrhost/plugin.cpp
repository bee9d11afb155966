#include "plugin.h"

#include <dlfcn.h>

#include <cctype>
#include <cstring>

#include "host_error.h"

namespace vyrhost {

namespace {

// A plug-in's parameter tables beyond this size are taken as garbage rather
// than as thousands of sliders.
constexpr uint32_t kMaxParams = 1024;

// Failure is the word -1 (upper half zero on 64-bit), or a null address.
bool isAddress(FFMixed r) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(r.PointerValue);
    return p != 0 && p != uintptr_t(ff::kFail);
}

std::string fixedText(const char* p, size_t maxLen) { return std::string(p, strnlen(p, maxLen)); }

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

std::string PluginInfo::typeName() const {
    if (type == ff::kTypeEffect) return "effect";
    if (type == ff::kTypeSource) return "source";
    return "type " + std::to_string(type);
}

std::string PluginInfo::version() const {
    if (!hasExtendedInfo) return "-";
    return std::to_string(versionMajor) + "." + std::to_string(versionMinor);
}

Plugin::Plugin(const std::string& path) {
    info_.path = path;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        throw HostError("cannot load " + path + ": " + (why ? why : "unknown reason"));
    }
    plugMain_ = reinterpret_cast<FFPlugMain>(dlsym(handle_, "plugMain"));
    if (plugMain_ == nullptr) {
        dlclose(handle_);
        throw HostError(path + " is not a FreeFrame plug-in (no plugMain)");
    }
    try {
        if (call(ff::kInitialise, 0) != 0) throw HostError(path + ": initialise failed");
        readDescriptor();
    } catch (...) {
        call(ff::kDeInitialise, 0);
        dlclose(handle_);
        throw;
    }
}

Plugin::~Plugin() {
    call(ff::kDeInitialise, 0);
    dlclose(handle_);
}

FFMixed Plugin::callValue(uint32_t code, uint32_t value, void* instance) const {
    FFMixed in;
    in.PointerValue = nullptr;
    in.UIntValue = value;
    return plugMain_(code, in, instance);
}

uint32_t Plugin::call(uint32_t code, uint32_t value, void* instance) const {
    return callValue(code, value, instance).UIntValue;
}

FFMixed Plugin::callPtr(uint32_t code, void* value, void* instance) const {
    FFMixed in;
    in.PointerValue = value;
    return plugMain_(code, in, instance);
}

void Plugin::readDescriptor() {
    const std::string& path = info_.path;
    FFMixed r = callPtr(ff::kGetInfo, nullptr);
    if (!isAddress(r)) throw HostError(path + ": getInfo answered no record");
    const auto* pi = static_cast<const PlugInfoStruct*>(r.PointerValue);
    info_.apiMajor = pi->APIMajorVersion;
    info_.apiMinor = pi->APIMinorVersion;
    if (info_.apiMajor != 1)
        throw HostError(path + ": FreeFrame API version " + std::to_string(info_.apiMajor) + "." +
                        std::to_string(info_.apiMinor) + ", only 1.x is supported");
    info_.id = fixedText(pi->PluginUniqueID, sizeof pi->PluginUniqueID);
    info_.name = fixedText(pi->PluginName, sizeof pi->PluginName);
    info_.type = pi->PluginType;
    if (info_.name.empty()) throw HostError(path + ": the plug-in has no name");

    // getExtendedInfo is optional in FreeFrame 1.0.
    r = callPtr(ff::kGetExtendedInfo, nullptr);
    if (isAddress(r)) {
        const auto* ei = static_cast<const PlugExtendedInfoStruct*>(r.PointerValue);
        info_.hasExtendedInfo = true;
        info_.versionMajor = ei->PluginMajorVersion;
        info_.versionMinor = ei->PluginMinorVersion;
        if (ei->Description != nullptr) info_.description = ei->Description;
        if (ei->About != nullptr) info_.about = ei->About;
    }

    const uint32_t n = call(ff::kGetNumParameters, 0);
    if (n > kMaxParams) throw HostError(path + ": getNumParameters answered " + std::to_string(int32_t(n)));
    for (uint32_t i = 0; i < n; ++i) {
        ParamInfo p;
        r = callValue(ff::kGetParameterName, i);
        if (!isAddress(r)) throw HostError(path + ": no name for parameter " + std::to_string(i));
        p.name = fixedText(static_cast<const char*>(r.PointerValue), 16);
        p.defaultValue = floatFromBits(call(ff::kGetParameterDefault, i));
        p.type = call(ff::kGetParameterType, i);
        info_.params.push_back(p);
    }
}

uint32_t Plugin::parameterIndex(const std::string& key) const {
    const auto& params = info_.params;
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].name == key) return uint32_t(i);
    int found = -1;
    for (size_t i = 0; i < params.size(); ++i) {
        if (lower(params[i].name) != lower(key)) continue;
        if (found >= 0) throw HostError(name() + ": parameter name \"" + key + "\" is ambiguous");
        found = int(i);
    }
    if (found >= 0) return uint32_t(found);
    if (!key.empty() && key.size() <= 4 && key.find_first_not_of("0123456789") == std::string::npos) {
        const unsigned long i = std::stoul(key);
        if (i < params.size()) return uint32_t(i);
        throw HostError(name() + " has " + std::to_string(params.size()) + " parameters (0 to " +
                        std::to_string(int(params.size()) - 1) + "), not " + key);
    }
    std::string known;
    for (const auto& p : params) known += (known.empty() ? "\"" : ", \"") + p.name + "\"";
    throw HostError(name() + " has no parameter \"" + key + "\" (it has " + (known.empty() ? "none" : known) + ")");
}

Instance::Instance(const Plugin& plugin, int width, int height, int depthBits)
    : plugin_(plugin), width_(width), height_(height), bpp_(depthBits == 24 ? 3 : 4) {
    VideoInfoStruct vi = {uint32_t(width), uint32_t(height), depthBits == 24 ? ff::kDepth24 : ff::kDepth32, 0};
    FFMixed r = plugin_.callPtr(ff::kInstantiate, &vi);
    if (!isAddress(r))
        throw HostError(plugin_.name() + ": instantiate failed at " + std::to_string(width) + "x" +
                        std::to_string(height) + ", " + std::to_string(depthBits) + "-bit");
    id_ = r.PointerValue;
}

Instance::~Instance() { plugin_.call(ff::kDeInstantiate, 0, id_); }

void Instance::setParameter(uint32_t index, float value) {
    SetParameterStruct sp;
    std::memset(&sp, 0, sizeof sp);
    sp.ParameterNumber = index;
    sp.NewParameterValue.FloatValue = value;
    if (plugin_.callPtr(ff::kSetParameter, &sp, id_).UIntValue == ff::kFail)
        throw HostError(plugin_.name() + ": setParameter failed for parameter " + std::to_string(index));
}

float Instance::parameter(uint32_t index) const { return floatFromBits(plugin_.call(ff::kGetParameter, index, id_)); }

std::string Instance::displayText(uint32_t index) const {
    FFMixed r = plugin_.callValue(ff::kGetParameterDisplay, index, id_);
    if (!isAddress(r)) return std::string();
    return fixedText(static_cast<const char*>(r.PointerValue), 16);
}

bool Instance::processFrame(uint8_t* frame) { return plugin_.callPtr(ff::kProcessFrame, frame, id_).UIntValue == 0; }

bool Instance::processFrameCopy(const uint8_t* input, uint8_t* output) {
    void* inputs[1] = {const_cast<uint8_t*>(input)};
    ProcessFrameCopyStruct pfc;
    pfc.numInputFrames = 1;
    pfc.ppInputFrames = inputs;
    pfc.pOutputFrame = output;
    return plugin_.callPtr(ff::kProcessFrameCopy, &pfc, id_).UIntValue == 0;
}

}  // namespace vyrhost
