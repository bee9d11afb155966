// A plug-in of either interface vyrhost speaks: FreeFrame 1.0 (plugMain,
// through the host library) or frei0r (f0r_*). Every command sees one
// shape: a descriptor with 0..1 float parameters and instances that
// process frames of BGRA pixels. frei0r's own parameter kinds map onto
// that: a boolean or double is one parameter, a colour three ("NAME red",
// "NAME green", "NAME blue"), a position two ("NAME x", "NAME y"); a text
// parameter is listed but keeps its default. frei0r plug-ins take 32-bit
// frames only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ffhost.h"

namespace vyrhost {

class Frei0rLibrary;
class Frei0rInstance;

class Plugin {
   public:
    // Loads a FreeFrame plug-in, else a frei0r plug-in; throws HostError
    // saying why the file is neither.
    explicit Plugin(const std::string& path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool isFrei0r() const { return f0r_ != nullptr; }
    const ffhost::PluginInfo& info() const { return info_; }
    const std::string& name() const { return info_.name; }
    // "effect" or "source" (FreeFrame); "frei0r-filter", "frei0r-source",
    // "frei0r-mixer2" or "frei0r-mixer3".
    std::string typeName() const;
    // What each parameter does, where the plug-in says (frei0r explanations);
    // empty strings otherwise.
    const std::vector<std::string>& descriptions() const { return descriptions_; }

    // FreeFrame getPluginCaps codes; a frei0r plug-in answers as a 32-bit,
    // copy-only plug-in would.
    uint32_t capability(uint32_t code) const;

    // By exact name, else a unique case-insensitive match, else an index;
    // throws HostError naming the known parameters.
    uint32_t parameterIndex(const std::string& key) const;

    // Where the plug-in takes its seed from: the index of a frei0r plug-in's
    // parameter "Seed" (Vyr's frei0r face: seed N is the value N / 1000000),
    // else -1, where a plug-in draws from the C library's rand() (FreeFrame:
    // seeded with srand() before the instance is made).
    int seedParameter() const;

    const ffhost::Plugin* freeFrame() const { return ff_.get(); }
    const Frei0rLibrary* frei0r() const { return f0r_.get(); }

   private:
    std::unique_ptr<ffhost::Plugin> ff_;
    std::unique_ptr<Frei0rLibrary> f0r_;
    ffhost::PluginInfo info_;
    std::vector<std::string> descriptions_;
};

// The "Seed" value that stands for seed N: N / 1000000, at most 1.
float seedParameterValue(unsigned seed);
// The seed a "Seed" value stands for: round(value x 1000000).
unsigned seedOfParameterValue(float value);

class Instance {
   public:
    // depthBits 24 or 32. Throws HostError when the plug-in refuses.
    Instance(const Plugin& plugin, int width, int height, int depthBits);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int bytesPerPixel() const { return bytesPerPixel_; }
    size_t frameBytes() const { return size_t(width_) * size_t(height_) * size_t(bytesPerPixel_); }

    void setParameter(uint32_t index, float value);
    float parameter(uint32_t index) const;
    std::string displayText(uint32_t index) const;

    // frei0r plug-ins are given the time of each frame: frames processed
    // so far over this rate (30 unless set).
    void setFrameRate(double framesPerSecond);

    // Both answer true when the plug-in reported success.
    bool processFrame(uint8_t* frame);
    bool processFrameCopy(const uint8_t* input, uint8_t* output);

   private:
    std::unique_ptr<ffhost::Instance> ff_;
    std::unique_ptr<Frei0rInstance> f0r_;
    int width_, height_, bytesPerPixel_;
};

// Loads `path` as a Plugin in a child process and answers what `work`
// makes of it there; throws HostError naming the file when the library
// crashes, hangs (10 s), exits or throws while it is loaded and described.
// vyrhost loads a library into its own process only after this.
std::string describeInChild(const std::string& path, const std::function<std::string(const Plugin&)>& work);

// describeInChild() for many files at the cost of few processes (see
// ffhost::runEachInChild): the answers in the order of `paths`, each
// `work`'s text or the error naming the file.
std::vector<ffhost::ChildAnswer> describeEachInChild(const std::vector<std::string>& paths,
                                                     const std::function<std::string(const Plugin&)>& work);

}  // namespace vyrhost
