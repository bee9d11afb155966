#include "any_plugin.h"

#include <dlfcn.h>
#include <frei0r.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host_error.h"

namespace vyrhost {

namespace {

// frei0r's parameter tables beyond this size are taken as garbage.
constexpr int kMaxFrei0rParams = 1024;
// frei0r gives no defaults: they are read back from an instance this big.
constexpr unsigned kProbeSide = 64;

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string text(const char* s) { return s != nullptr ? s : ""; }

}  // namespace

// One of our 0..1 parameters: which frei0r parameter, and which part of it.
struct Frei0rSlot {
    int param = 0;
    int type = F0R_PARAM_DOUBLE;
    int part = 0;  // colour: 0 red, 1 green, 2 blue; position: 0 x, 1 y
};

class Frei0rLibrary {
   public:
    explicit Frei0rLibrary(const std::string& path) : path_(path) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char* why = dlerror();
            throw HostError("cannot load " + path + ": " + (why ? why : "unknown reason"));
        }
        const auto sym = [&](const char* name) { return dlsym(handle_, name); };
        init_ = reinterpret_cast<int (*)()>(sym("f0r_init"));
        if (init_ == nullptr) {
            dlclose(handle_);
            throw HostError(path + " is neither a FreeFrame plug-in (no plugMain) nor a frei0r plug-in (no f0r_init)");
        }
        deinit_ = reinterpret_cast<void (*)()>(sym("f0r_deinit"));
        getInfo_ = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(sym("f0r_get_plugin_info"));
        getParamInfo_ = reinterpret_cast<void (*)(f0r_param_info_t*, int)>(sym("f0r_get_param_info"));
        construct_ = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(sym("f0r_construct"));
        destruct_ = reinterpret_cast<void (*)(f0r_instance_t)>(sym("f0r_destruct"));
        setParam_ = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(sym("f0r_set_param_value"));
        getParam_ = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(sym("f0r_get_param_value"));
        update_ = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(sym("f0r_update"));
        update2_ = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*,
                                             uint32_t*)>(sym("f0r_update2"));
        if (deinit_ == nullptr || getInfo_ == nullptr || getParamInfo_ == nullptr || construct_ == nullptr ||
            destruct_ == nullptr || setParam_ == nullptr || getParam_ == nullptr ||
            (update_ == nullptr && update2_ == nullptr)) {
            dlclose(handle_);
            throw HostError(path + " lacks some of the frei0r functions");
        }
        if (call("f0r_init", init_) == 0) {
            dlclose(handle_);
            throw HostError(path + ": f0r_init failed");
        }
        f0r_plugin_info_t pi;
        std::memset(&pi, 0, sizeof pi);
        call("f0r_get_plugin_info", getInfo_, &pi);
        name_ = text(pi.name);
        author_ = text(pi.author);
        explanation_ = text(pi.explanation);
        type_ = pi.plugin_type;
        colourModel_ = pi.color_model;
        major_ = pi.major_version;
        minor_ = pi.minor_version;
        apiVersion_ = pi.frei0r_version;
        if (name_.empty() || pi.num_params < 0 || pi.num_params > kMaxFrei0rParams || type_ < 0 || type_ > 3) {
            deinit_();
            dlclose(handle_);
            throw HostError(path + " does not describe itself as a frei0r plug-in");
        }
        for (int i = 0; i < pi.num_params; ++i) {
            f0r_param_info_t info;
            std::memset(&info, 0, sizeof info);
            call("f0r_get_param_info", getParamInfo_, &info, i);
            params_.push_back({text(info.name), info.type, text(info.explanation)});
        }
    }

    ~Frei0rLibrary() {
        try {
            call("f0r_deinit", deinit_);
        } catch (const HostError&) {
            // Nothing may leave a destructor; the library goes all the same.
        }
        dlclose(handle_);
    }

    // A C++ exception must not cross a frei0r function; one that does is
    // the plug-in's failure, named as a FreeFrame plug-in's is.
    template <class Function, class... Args>
    auto call(const char* name, Function function, Args... args) const -> decltype(function(args...)) {
        try {
            return function(args...);
        } catch (...) {
            throw HostError(path_ + ": " + name + " threw a C++ exception");
        }
    }

    struct Param {
        std::string name;
        int type;
        std::string explanation;
    };

    std::string path_;
    void* handle_ = nullptr;
    int (*init_)() = nullptr;
    void (*deinit_)() = nullptr;
    void (*getInfo_)(f0r_plugin_info_t*) = nullptr;
    void (*getParamInfo_)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct_)(unsigned, unsigned) = nullptr;
    void (*destruct_)(f0r_instance_t) = nullptr;
    void (*setParam_)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam_)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update_)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
    void (*update2_)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*, uint32_t*) = nullptr;
    std::string name_, author_, explanation_;
    int type_ = 0, colourModel_ = 0, major_ = 0, minor_ = 0, apiVersion_ = 0;
    std::vector<Param> params_;
    std::vector<Frei0rSlot> slots_;  // our parameters, in order
};

class Frei0rInstance {
   public:
    Frei0rInstance(const Frei0rLibrary& lib, int width, int height)
        : lib_(lib), width_(width), height_(height), in_(size_t(width) * size_t(height)), out_(in_.size()) {
        id_ = lib.call("f0r_construct", lib.construct_, unsigned(width), unsigned(height));
        if (id_ == nullptr)
            throw HostError(lib.name_ + ": f0r_construct failed at " + std::to_string(width) + "x" +
                            std::to_string(height));
    }
    ~Frei0rInstance() {
        try {
            lib_.call("f0r_destruct", lib_.destruct_, id_);
        } catch (const HostError&) {
            // Nothing may leave a destructor.
        }
    }

    const Frei0rSlot& slot(uint32_t index) const {
        if (index >= lib_.slots_.size())
            throw HostError(lib_.name_ + " has " + std::to_string(lib_.slots_.size()) + " parameters, not " +
                            std::to_string(index + 1));
        return lib_.slots_[index];
    }

    float get(uint32_t index) const {
        const Frei0rSlot& s = slot(index);
        switch (s.type) {
            case F0R_PARAM_BOOL:
            case F0R_PARAM_DOUBLE: {
                double v = 0.0;
                lib_.call("f0r_get_param_value", lib_.getParam_, id_, &v, s.param);
                return float(v);
            }
            case F0R_PARAM_COLOR: {
                f0r_param_color_t c{0, 0, 0};
                lib_.call("f0r_get_param_value", lib_.getParam_, id_, &c, s.param);
                return s.part == 0 ? c.r : s.part == 1 ? c.g : c.b;
            }
            case F0R_PARAM_POSITION: {
                f0r_param_position_t p{0, 0};
                lib_.call("f0r_get_param_value", lib_.getParam_, id_, &p, s.param);
                return float(s.part == 0 ? p.x : p.y);
            }
            default:
                return 0.0f;
        }
    }

    void set(uint32_t index, float value) {
        const Frei0rSlot& s = slot(index);
        switch (s.type) {
            case F0R_PARAM_BOOL: {
                double v = value >= 0.5f ? 1.0 : 0.0;
                lib_.call("f0r_set_param_value", lib_.setParam_, id_, &v, s.param);
                break;
            }
            case F0R_PARAM_DOUBLE: {
                double v = value;
                lib_.call("f0r_set_param_value", lib_.setParam_, id_, &v, s.param);
                break;
            }
            case F0R_PARAM_COLOR: {
                f0r_param_color_t c{0, 0, 0};
                lib_.call("f0r_get_param_value", lib_.getParam_, id_, &c, s.param);
                (s.part == 0 ? c.r : s.part == 1 ? c.g : c.b) = value;
                lib_.call("f0r_set_param_value", lib_.setParam_, id_, &c, s.param);
                break;
            }
            case F0R_PARAM_POSITION: {
                f0r_param_position_t p{0, 0};
                lib_.call("f0r_get_param_value", lib_.getParam_, id_, &p, s.param);
                (s.part == 0 ? p.x : p.y) = value;
                lib_.call("f0r_set_param_value", lib_.setParam_, id_, &p, s.param);
                break;
            }
            default:
                break;  // text: kept as the plug-in has it
        }
    }

    std::string display(uint32_t index) const {
        const Frei0rSlot& s = slot(index);
        if (s.type == F0R_PARAM_STRING) {
            char* str = nullptr;
            lib_.call("f0r_get_param_value", lib_.getParam_, id_, &str, s.param);
            return text(str).substr(0, 64);
        }
        if (s.type == F0R_PARAM_BOOL) return get(index) >= 0.5f ? "on" : "off";
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.3f", double(get(index)));
        return buf;
    }

    // BGRA in, BGRA out; plug-ins that work on RGBA get their bytes swapped.
    void process(const uint8_t* input, uint8_t* output) {
        const size_t n = in_.size();
        const bool swap = lib_.colourModel_ == F0R_COLOR_MODEL_RGBA8888;
        std::memcpy(in_.data(), input, n * 4);
        if (swap) swapRedBlue(in_.data(), n);
        const double time = double(frames_++) / rate_;
        if (lib_.type_ >= F0R_PLUGIN_TYPE_MIXER2 && lib_.update2_ != nullptr)
            // A mixer is given the one input on each of its inputs.
            lib_.call("f0r_update2", lib_.update2_, id_, time, in_.data(), in_.data(),
                      lib_.type_ == F0R_PLUGIN_TYPE_MIXER3 ? in_.data() : nullptr, out_.data());
        else if (lib_.update_ != nullptr)
            lib_.call("f0r_update", lib_.update_, id_, time, in_.data(), out_.data());
        else
            lib_.call("f0r_update2", lib_.update2_, id_, time, in_.data(), nullptr, nullptr, out_.data());
        if (swap) swapRedBlue(out_.data(), n);
        std::memcpy(output, out_.data(), n * 4);
    }

    double rate_ = 30.0;

   private:
    static void swapRedBlue(uint32_t* pixels, size_t n) {
        auto* b = reinterpret_cast<uint8_t*>(pixels);
        for (size_t i = 0; i < n; ++i) std::swap(b[i * 4], b[i * 4 + 2]);
    }

    const Frei0rLibrary& lib_;
    int width_, height_;
    f0r_instance_t id_ = nullptr;
    std::vector<uint32_t> in_, out_;
    long frames_ = 0;
};

// FreeFrame 1.0 has no place for a parameter's description; a plug-in that
// also comes as a frei0r library (Vyr's do, beside the FreeFrame folder:
// build/frei0r next to build/plugins, lib/frei0r-1 next to lib/freeframe)
// explains each parameter there. Empty texts when there is no such twin.
static std::vector<std::string> twinDescriptions(const ffhost::PluginInfo& info) {
    const std::string& path = info.path;
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string file = path.substr(slash == std::string::npos ? 0 : slash + 1);
    for (const char* sibling : {"/../frei0r/", "/../frei0r-1/"}) {
        if (access((dir + sibling + file).c_str(), R_OK) != 0) continue;
        try {
            const Frei0rLibrary twin(dir + sibling + file);
            // The twin may add parameters of its own after the shared ones (frei0r's "Seed").
            if (twin.name_ != info.name || twin.params_.size() < info.params.size()) continue;
            std::vector<std::string> out;
            for (size_t k = 0; k < info.params.size(); ++k) {
                if (twin.params_[k].name != info.params[k].name) return std::vector<std::string>(info.params.size());
                out.push_back(twin.params_[k].explanation);
            }
            return out;
        } catch (const HostError&) {
            // Not a twin after all.
        }
    }
    return std::vector<std::string>(info.params.size());
}

Plugin::Plugin(const std::string& path) {
    try {
        ff_.reset(new ffhost::Plugin(path));
        info_ = ff_->info();
        descriptions_ = twinDescriptions(info_);
        return;
    } catch (const HostError& e) {
        // Only a library without plugMain may still be a frei0r plug-in.
        if (std::string(e.what()).find("no plugMain") == std::string::npos) throw;
    }
    f0r_.reset(new Frei0rLibrary(path));
    Frei0rLibrary& lib = *f0r_;
    info_.path = path;
    info_.name = lib.name_;
    info_.id = "-";
    info_.apiMajor = unsigned(lib.apiVersion_);
    info_.apiMinor = 0;
    info_.type = lib.type_ == F0R_PLUGIN_TYPE_SOURCE ? ff::kTypeSource : ff::kTypeEffect;
    info_.hasExtendedInfo = true;
    info_.versionMajor = unsigned(lib.major_);
    info_.versionMinor = unsigned(lib.minor_);
    info_.description = lib.explanation_;
    info_.about = lib.author_;
    // FreeFrame type codes for the parts, so that info reads alike.
    for (size_t i = 0; i < lib.params_.size(); ++i) {
        const auto& p = lib.params_[i];
        const auto add = [&](const std::string& name, uint32_t ffType, int part) {
            lib.slots_.push_back({int(i), p.type, part});
            ffhost::ParamInfo pi;
            pi.name = name;
            pi.type = ffType;
            info_.params.push_back(pi);
            descriptions_.push_back(p.explanation);
        };
        switch (p.type) {
            case F0R_PARAM_BOOL:
                add(p.name, 0, 0);
                break;
            case F0R_PARAM_COLOR:
                add(p.name + " red", 2, 0);
                add(p.name + " green", 3, 1);
                add(p.name + " blue", 4, 2);
                break;
            case F0R_PARAM_POSITION:
                add(p.name + " x", 5, 0);
                add(p.name + " y", 6, 1);
                break;
            case F0R_PARAM_STRING:
                add(p.name, 100, 0);
                break;
            default:
                add(p.name, 10, 0);
                break;
        }
    }
    // The defaults are what a new instance holds.
    Frei0rInstance probe(lib, kProbeSide, kProbeSide);
    for (size_t k = 0; k < info_.params.size(); ++k) info_.params[k].defaultValue = probe.get(uint32_t(k));
}

Plugin::~Plugin() = default;

std::string Plugin::typeName() const {
    if (!f0r_) return info_.typeName();
    static const char* const kTypes[] = {"frei0r-filter", "frei0r-source", "frei0r-mixer2", "frei0r-mixer3"};
    return kTypes[f0r_->type_];
}

uint32_t Plugin::capability(uint32_t code) const {
    if (ff_) return ff_->capability(code);
    switch (code) {
        case 2:  // 32-bit frames
        case 3:  // processFrameCopy
            return 1;
        case 10:  // minimum input frames
        case 11:  // maximum input frames
            return f0r_->type_ == F0R_PLUGIN_TYPE_SOURCE ? 0 : 1;
        case 15:  // copy preferred
            return 2;
        default:
            return 0;
    }
}

uint32_t Plugin::parameterIndex(const std::string& key) const {
    if (ff_) return ff_->parameterIndex(key);
    const auto& ps = info_.params;
    for (size_t i = 0; i < ps.size(); ++i)
        if (ps[i].name == key) return uint32_t(i);
    int found = -1, matches = 0;
    for (size_t i = 0; i < ps.size(); ++i)
        if (lower(ps[i].name) == lower(key)) {
            found = int(i);
            ++matches;
        }
    if (matches == 1) return uint32_t(found);
    if (!key.empty() && key.size() < 6 && std::all_of(key.begin(), key.end(), ::isdigit)) {
        const unsigned long i = std::stoul(key);
        if (i < ps.size()) return uint32_t(i);
        throw HostError(name() + " has " + std::to_string(ps.size()) + " parameters (0 to " +
                        std::to_string(ps.size() - 1) + "), not " + key);
    }
    std::string known;
    for (const auto& p : ps) known += (known.empty() ? "\"" : ", \"") + p.name + "\"";
    throw HostError(name() + " has no parameter \"" + key + "\" (it has " + (known.empty() ? "none" : known) + ")");
}

int Plugin::seedParameter() const {
    if (!f0r_) return -1;
    for (size_t i = 0; i < info_.params.size(); ++i)
        if (info_.params[i].name == "Seed") return int(i);
    return -1;
}

// A million seeds fit the 0..1 range with room to spare in a float's 24 bits.
constexpr double kSeedsPerUnit = 1000000.0;

float seedParameterValue(unsigned seed) { return float(std::min(double(seed) / kSeedsPerUnit, 1.0)); }

unsigned seedOfParameterValue(float value) {
    return unsigned(std::lround(std::min(std::max(double(value), 0.0), 1.0) * kSeedsPerUnit));
}

Instance::Instance(const Plugin& plugin, int width, int height, int depthBits)
    : width_(width), height_(height), bytesPerPixel_(depthBits == 24 ? 3 : 4) {
    if (plugin.freeFrame() != nullptr) {
        ff_.reset(new ffhost::Instance(*plugin.freeFrame(), width, height, depthBits));
        return;
    }
    if (depthBits != 32) throw HostError(plugin.name() + " (frei0r) takes 32-bit frames only");
    f0r_.reset(new Frei0rInstance(*plugin.frei0r(), width, height));
}

Instance::~Instance() = default;

void Instance::setParameter(uint32_t index, float value) {
    if (ff_)
        ff_->setParameter(index, value);
    else
        f0r_->set(index, value);
}

float Instance::parameter(uint32_t index) const { return ff_ ? ff_->parameter(index) : f0r_->get(index); }

std::string Instance::displayText(uint32_t index) const { return ff_ ? ff_->displayText(index) : f0r_->display(index); }

void Instance::setFrameRate(double framesPerSecond) {
    if (f0r_ && framesPerSecond > 0.0) f0r_->rate_ = framesPerSecond;
}

bool Instance::processFrame(uint8_t* frame) {
    if (ff_) return ff_->processFrame(frame);
    f0r_->process(frame, frame);
    return true;
}

bool Instance::processFrameCopy(const uint8_t* input, uint8_t* output) {
    if (ff_) return ff_->processFrameCopy(input, output);
    f0r_->process(input, output);
    return true;
}

namespace {
// How long a library may take to load and describe itself.
constexpr int kDescribeTimeoutMs = 10000;
}  // namespace

std::string describeInChild(const std::string& path, const std::function<std::string(const Plugin&)>& work) {
    return ffhost::runInChild(path, kDescribeTimeoutMs, [&] { return work(Plugin(path)); });
}

std::vector<ffhost::ChildAnswer> describeEachInChild(const std::vector<std::string>& paths,
                                                     const std::function<std::string(const Plugin&)>& work) {
    return ffhost::runEachInChild(paths, kDescribeTimeoutMs,
                                  [&work](const std::string& path) { return work(Plugin(path)); });
}

}  // namespace vyrhost
