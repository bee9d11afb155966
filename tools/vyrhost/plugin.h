// A FreeFrame 1.0 plug-in library seen from the host side: loaded with
// dlopen, asked through plugMain only, and known by what it says about
// itself. Nothing here knows any particular plug-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ffapi.h"

namespace vyrhost {

struct ParamInfo {
    std::string name;
    float defaultValue = 0.0f;
    uint32_t type = 0;  // FreeFrame parameter type code; 10 = standard 0..1
};

struct PluginInfo {
    std::string path;
    std::string name;  // from PlugInfoStruct, at most 16 characters
    std::string id;    // four characters
    uint32_t apiMajor = 0, apiMinor = 0;
    uint32_t type = 0;  // 0 = effect, 1 = source
    bool hasExtendedInfo = false;
    uint32_t versionMajor = 0, versionMinor = 0;
    std::string description, about;
    std::vector<ParamInfo> params;

    bool isSource() const { return type == ff::kTypeSource; }
    std::string typeName() const;
    std::string version() const;  // "3.906", or "-" without extended info
};

class Plugin {
   public:
    // Loads the library and reads its descriptor; throws HostError when the
    // file cannot be loaded or does not behave as a FreeFrame 1.0 plug-in.
    explicit Plugin(const std::string& path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const PluginInfo& info() const { return info_; }
    const std::string& name() const { return info_.name; }

    // plugMain with an index or code as input value; the answer, or its word.
    FFMixed callValue(uint32_t code, uint32_t value, void* instance = nullptr) const;
    uint32_t call(uint32_t code, uint32_t value, void* instance = nullptr) const;
    FFMixed callPtr(uint32_t code, void* value, void* instance = nullptr) const;

    // getPluginCaps; the answer word.
    uint32_t capability(uint32_t code) const { return call(ff::kGetPluginCaps, code); }

    // Parameter index by exact name, else by a unique case-insensitive match,
    // else by a decimal index; throws HostError naming the known parameters.
    uint32_t parameterIndex(const std::string& key) const;

   private:
    void readDescriptor();

    void* handle_ = nullptr;
    FFPlugMain plugMain_ = nullptr;
    PluginInfo info_;
};

// One instance of a plug-in at a fixed frame geometry; released with the object.
class Instance {
   public:
    // depthBits is 24 or 32. Throws HostError when the plug-in refuses.
    Instance(const Plugin& plugin, int width, int height, int depthBits);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int bytesPerPixel() const { return bpp_; }
    size_t frameBytes() const { return size_t(width_) * size_t(height_) * size_t(bpp_); }

    void setParameter(uint32_t index, float value);
    float parameter(uint32_t index) const;
    std::string displayText(uint32_t index) const;  // up to the first NUL, at most 16 bytes

    // Both answer true when the plug-in answered 0.
    bool processFrame(uint8_t* frame);
    bool processFrameCopy(const uint8_t* input, uint8_t* output);

   private:
    const Plugin& plugin_;
    void* id_ = nullptr;
    int width_, height_, bpp_;
};

}  // namespace vyrhost
