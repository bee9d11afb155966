// Drives a built frei0r plug-in as a frei0r host does: the library is
// loaded with dlopen and every f0r_* entry point is resolved by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace vyrtest {

// Path of a built frei0r plug-in, e.g. frei0rPath("VyrGlobSwirl1").
std::string frei0rPath(const std::string& name);
// The folder of the built frei0r plug-ins, for FREI0R_PATH.
std::string frei0rDir();

// The entry points a frei0r 1.2 plug-in exports.
const std::vector<std::string>& frei0rEntryPoints();

class Frei0rLibrary {
   public:
    explicit Frei0rLibrary(const std::string& name);  // loads build/frei0r/<name>.so
    ~Frei0rLibrary();
    Frei0rLibrary(const Frei0rLibrary&) = delete;
    Frei0rLibrary& operator=(const Frei0rLibrary&) = delete;

    const std::string& name() const { return name_; }
    void* symbol(const char* name) const;  // nullptr when not exported

    f0r_plugin_info_t info() const;
    f0r_param_info_t paramInfo(int index) const;

    int (*init)(void) = nullptr;
    void (*deinit)(void) = nullptr;
    void (*getPluginInfo)(f0r_plugin_info_t*) = nullptr;
    void (*getParamInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned int, unsigned int) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParamValue)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParamValue)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
    void (*update2)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*, uint32_t*) = nullptr;

   private:
    std::string name_;
    void* handle_ = nullptr;
};

// One frei0r instance, destructed with the object.
class Frei0rInstance {
   public:
    Frei0rInstance(const Frei0rLibrary& lib, unsigned width, unsigned height);
    ~Frei0rInstance();
    Frei0rInstance(const Frei0rInstance&) = delete;
    Frei0rInstance& operator=(const Frei0rInstance&) = delete;

    bool ok() const { return id_ != nullptr; }
    f0r_instance_t id() const { return id_; }
    size_t frameBytes() const { return size_t(width_) * height_ * 4; }

    void set(int index, double value);
    double get(int index) const;

    // One update; a null input is passed as a null frame. `out` is resized
    // to the frame but keeps its content otherwise.
    void update(const std::vector<uint8_t>* in, std::vector<uint8_t>& out, double time = 0.0);
    // One update into a fresh zeroed buffer.
    std::vector<uint8_t> render(const std::vector<uint8_t>* in = nullptr, double time = 0.0);

   private:
    const Frei0rLibrary& lib_;
    f0r_instance_t id_ = nullptr;
    unsigned width_, height_;
};

// Runs a shell command and returns everything it wrote to standard output;
// `status` receives the exit status (-1 when it could not be run).
std::vector<uint8_t> commandOutput(const std::string& command, int* status = nullptr);

}  // namespace vyrtest
