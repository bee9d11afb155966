// A FreeFrame 1.0 plug-in library seen from the host side: loaded with
// dlopen, asked through plugMain only, and known by what it says about
// itself. vyrhost, the tests and the benchmarks all drive plug-ins through
// this; nothing here knows any particular plug-in, and no plug-in links it.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ffapi.h"

namespace ffhost {

// Every failure this library reports: a one-line message naming what failed.
struct Error : std::runtime_error {
    explicit Error(const std::string& what) : std::runtime_error(what) {}
};

// plugMain answers failure with the word 0xFFFFFFFF. On 64-bit the upper
// half of the answer is not part of that word and may hold anything, so
// only the low 32 bits decide.
inline bool isFailure(FFMixed answer) { return answer.UIntValue == ff::kFail; }

// An answer that should be an address: neither a failure nor null.
inline bool isAddress(FFMixed answer) { return !isFailure(answer) && answer.PointerValue != nullptr; }

// A loaded library and its plugMain. Calls nothing by itself.
class Library {
   public:
    enum class Unload {
        onDestruction,
        never
    };

    // Throws Error when the file cannot be loaded or has no plugMain.
    // Unload::never keeps the code mapped, so that leak reports taken at
    // exit still name the plug-in's functions.
    explicit Library(const std::string& path, Unload unload = Unload::onDestruction);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const std::string& path() const { return path_; }
    void* handle() const { return handle_; }

    // plugMain with the input value exactly as given.
    FFMixed callMixed(uint32_t code, FFMixed value, void* instance = nullptr) const;
    // plugMain with an index or code as input value (upper half zero).
    FFMixed callValue(uint32_t code, uint32_t value, void* instance = nullptr) const;
    // plugMain with an address as input value.
    FFMixed callPtr(uint32_t code, const void* value, void* instance = nullptr) const;
    // callValue's answer word.
    uint32_t call(uint32_t code, uint32_t value, void* instance = nullptr) const {
        return callValue(code, value, instance).UIntValue;
    }

   private:
    std::string path_;
    void* handle_ = nullptr;
    FFPlugMain plugMain_ = nullptr;
    Unload unload_;
};

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

// Reads what a library says about itself (getInfo, getExtendedInfo, the
// parameter names, defaults and types); throws Error when the answers do not
// describe a FreeFrame 1.x plug-in.
PluginInfo describe(const Library& library);

// describe() run in a child process, the way robust hosts scan plug-ins: a
// library that crashes, hangs (longer than `timeoutMs`), calls exit() or
// throws while it is loaded, initialised and asked about itself takes only
// the child with it. Answers what the library said; throws Error naming
// the file and what happened otherwise. Load the library in-process only
// after it passed.
PluginInfo probe(const std::string& path, int timeoutMs = 10000);

// The machinery of probe(): runs `work` in a child process and answers the
// text it returned; an Error it throws is thrown here as it was. A crash, a
// hang, an exit or any other exception of the child is thrown as an Error
// naming `path`.
std::string runInChild(const std::string& path, int timeoutMs, const std::function<std::string()>& work);

// What runEachInChild() learned of one file: `work`'s answer, or (not ok)
// the message of the Error it threw or of what befell the child, naming
// the file.
struct ChildAnswer {
    bool ok = false;
    std::string text;
};

// runInChild() over many files at the cost of few processes: one child
// runs `work` on each file in turn and reports each answer as it finishes.
// A file that crashes, hangs (each file has `timeoutMs`), exits or garbles
// the reports ends that child; a new one goes on after it. A file that
// crashed or exited a child which had loaded other files before is asked
// again in a child of its own, so that such a fault is only laid on the
// file that causes it alone (a hang is not asked again, which would cost
// the timeout twice). Two children run at once. Answers in the order of
// `paths`.
std::vector<ChildAnswer> runEachInChild(const std::vector<std::string>& paths, int timeoutMs,
                                        const std::function<std::string(const std::string&)>& work);

// A library that has been initialised and described; de-initialised and
// unloaded with the object.
class Plugin : public Library {
   public:
    // Throws Error when the file cannot be loaded or does not behave as a
    // FreeFrame 1.0 plug-in.
    explicit Plugin(const std::string& path);
    ~Plugin();

    const PluginInfo& info() const { return info_; }
    const std::string& name() const { return info_.name; }

    // getPluginCaps; the answer word.
    uint32_t capability(uint32_t code) const { return call(ff::kGetPluginCaps, code); }

    // Parameter index by exact name, else by a unique case-insensitive match,
    // else by a decimal index; throws Error naming the known parameters.
    uint32_t parameterIndex(const std::string& key) const;

   private:
    PluginInfo info_;
};

// One instance at a fixed frame geometry; de-instantiated with the object.
class Instance {
   public:
    // depthBits is 24 or 32. Throws Error, naming the plug-in (or the
    // library's file when it has not been described), when the plug-in refuses.
    Instance(const Plugin& plugin, int width, int height, int depthBits);
    Instance(const Library& library, int width, int height, int depthBits);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void* id() const { return id_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int bytesPerPixel() const { return bytesPerPixel_; }
    size_t frameBytes() const { return size_t(width_) * size_t(height_) * size_t(bytesPerPixel_); }

    // Throws Error when the plug-in refuses the value.
    void setParameter(uint32_t index, float value);
    float parameter(uint32_t index) const;
    std::string displayText(uint32_t index) const;  // up to the first NUL, at most 16 bytes

    // Both answer true when the plug-in answered 0.
    bool processFrame(uint8_t* frame);
    bool processFrameCopy(const uint8_t* input, uint8_t* output);

   private:
    Instance(const Library& library, const std::string& label, int width, int height, int depthBits);

    const Library& library_;
    std::string label_;
    void* id_ = nullptr;
    int width_, height_, bytesPerPixel_;
};

// The float a parameter answer carries in its word.
float floatFromWord(uint32_t word);

}  // namespace ffhost
