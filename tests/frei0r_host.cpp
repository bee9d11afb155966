#include "frei0r_host.h"

#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdio>
#include <stdexcept>

#ifndef VYR_FREI0R_DIR
#error "VYR_FREI0R_DIR must name the folder of the built frei0r plug-ins"
#endif

namespace vyrtest {

std::string frei0rDir() { return VYR_FREI0R_DIR; }

std::string frei0rPath(const std::string& name) { return frei0rDir() + "/" + name + ".so"; }

const std::vector<std::string>& frei0rEntryPoints() {
    static const std::vector<std::string> names = {
        "f0r_construct",       "f0r_deinit", "f0r_destruct",        "f0r_get_param_info", "f0r_get_param_value",
        "f0r_get_plugin_info", "f0r_init",   "f0r_set_param_value", "f0r_update",         "f0r_update2"};
    return names;
}

namespace {

template <typename F>
void resolve(void* handle, const char* name, F*& slot) {
    slot = reinterpret_cast<F*>(dlsym(handle, name));
    if (slot == nullptr) throw std::runtime_error(std::string("no ") + name);
}

}  // namespace

Frei0rLibrary::Frei0rLibrary(const std::string& name) : name_(name) {
    handle_ = dlopen(frei0rPath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
    resolve(handle_, "f0r_init", init);
    resolve(handle_, "f0r_deinit", deinit);
    resolve(handle_, "f0r_get_plugin_info", getPluginInfo);
    resolve(handle_, "f0r_get_param_info", getParamInfo);
    resolve(handle_, "f0r_construct", construct);
    resolve(handle_, "f0r_destruct", destruct);
    resolve(handle_, "f0r_set_param_value", setParamValue);
    resolve(handle_, "f0r_get_param_value", getParamValue);
    resolve(handle_, "f0r_update", update);
    resolve(handle_, "f0r_update2", update2);
    init();
}

Frei0rLibrary::~Frei0rLibrary() {
    if (handle_ == nullptr) return;
    deinit();
    dlclose(handle_);
}

void* Frei0rLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

f0r_plugin_info_t Frei0rLibrary::info() const {
    f0r_plugin_info_t i = {};
    getPluginInfo(&i);
    return i;
}

f0r_param_info_t Frei0rLibrary::paramInfo(int index) const {
    f0r_param_info_t i = {};
    getParamInfo(&i, index);
    return i;
}

Frei0rInstance::Frei0rInstance(const Frei0rLibrary& lib, unsigned width, unsigned height)
    : lib_(lib), width_(width), height_(height) {
    id_ = lib_.construct(width, height);
}

Frei0rInstance::~Frei0rInstance() {
    if (id_ != nullptr) lib_.destruct(id_);
}

void Frei0rInstance::set(int index, double value) { lib_.setParamValue(id_, &value, index); }

double Frei0rInstance::get(int index) const {
    double value = -12345.0;
    lib_.getParamValue(id_, &value, index);
    return value;
}

void Frei0rInstance::update(const std::vector<uint8_t>* in, std::vector<uint8_t>& out, double time) {
    out.resize(frameBytes());
    const uint32_t* input = in != nullptr ? reinterpret_cast<const uint32_t*>(in->data()) : nullptr;
    lib_.update(id_, time, input, reinterpret_cast<uint32_t*>(out.data()));
}

std::vector<uint8_t> Frei0rInstance::render(const std::vector<uint8_t>* in, double time) {
    std::vector<uint8_t> out(frameBytes(), 0);
    update(in, out, time);
    return out;
}

std::vector<uint8_t> commandOutput(const std::string& command, int* status) {
    std::vector<uint8_t> out;
    if (status != nullptr) *status = -1;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
    const int rc = pclose(p);
    if (status != nullptr) *status = (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
    return out;
}

}  // namespace vyrtest
