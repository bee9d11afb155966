// The frei0r 1.x face of a plug-in: the f0r_* entry points, answered
// from the same descriptor, parameter table and scene as its FreeFrame
// library. Compiled once per plug-in, like the framework.
//
// Unlike the FreeFrame face, which steps once per call and draws from the C
// library's rand(), a frei0r instance draws from its own random sequence,
// seeded by the extra parameter "Seed", and shows for each host time the
// picture of a fixed step of its motion (timed_scene.h): its pictures are a
// function of seed, time and parameter values, whatever order and whatever
// thread a host renders frames in.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "plug_obj.h"
#include "timed_scene.h"

extern "C" {
#include <frei0r.h>
}

#define F0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char kAuthor[] = "the Vyr authors";

// "Seed" follows the plug-in's own parameters.
constexpr int kSeedParam = kNumParams;
constexpr int kFrei0rParams = kNumParams + 1;
const char kSeedName[] = "Seed";
const char kSeedExplanation[] =
    "Which scene: the random numbers that srand(round(value x 1000000)) gives; 0, the default, gives those of "
    "srand(1), the scene a FreeFrame host shows in a fresh process";

// A frei0r instance: its timed scene, and the values exactly as the host set
// them. The frame operations clamp the scene's own copies in place, while a
// frei0r host expects to read back what it wrote.
struct Frei0rInstance {
    TimedScene scene;
    unsigned width = 0, height = 0;
    double hostValues[kFrei0rParams] = {};
    // The code that called update last, and the unit of its times.
    const void* lastCaller = nullptr;
    double callerUnitsPerSecond = 1.0;
};

bool indexIsValid(int index) { return index >= 0 && index < kFrei0rParams; }

// Whether the library holding `caller` defines `symbol` itself (dlsym
// also searches a library's dependencies: the symbol must be its own).
bool callerDefines(const Dl_info& where, const char* symbol) {
    void* library = dlopen(where.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) return false;
    void* found = dlsym(library, symbol);
    Dl_info owner = {};
    const bool own = found != nullptr && dladdr(found, &owner) != 0 && owner.dli_fbase == where.dli_fbase;
    dlclose(library);
    return own;
}

// frei0r passes times in seconds, but two hosts pass other units, told
// apart by the library of the calling code:
// - ffmpeg's frei0r and frei0r_src filters pass milliseconds (ffmpeg 5.1:
//   0, 40, 80 ... at 25 fps). They live in ffmpeg's libavfilter (or in a
//   statically linked ffmpeg program): a library that defines
//   avfilter_version itself.
// - Gem's [pix_frei0r] passes the number of the frame (0, 1, 2 ...) as
//   the time, whatever Gem's frame rate; Gem's own library defines its
//   Pure Data entry Gem_setup. One frame is taken as one motion step
//   (1/60 s), as a FreeFrame host steps once per frame, so that a patch
//   animates as it does through [pix_freeframe], and VyrBrushDrift1 keeps
//   its trail.
double unitsPerSecond(const void* caller) {
    Dl_info where = {};
    if (dladdr(caller, &where) == 0 || where.dli_fname == nullptr) return 1.0;
    const char* base = std::strrchr(where.dli_fname, '/');
    base = base != nullptr ? base + 1 : where.dli_fname;
    if (std::strncmp(base, "ffmpeg", 6) == 0 || callerDefines(where, "avfilter_version")) return 1000.0;
    if (callerDefines(where, "Gem_setup")) return kStepsPerSecond;
    return 1.0;
}

double hostSeconds(Frei0rInstance& self, double time, const void* caller) {
    if (caller != self.lastCaller) {
        self.lastCaller = caller;
        self.callerUnitsPerSecond = unitsPerSecond(caller);
    }
    return time / self.callerUnitsPerSecond;
}

void render(Frei0rInstance* self, double time, const void* caller, const uint32_t* inframe, uint32_t* outframe) {
    if (self == nullptr || outframe == nullptr) return;
    const size_t bytes = size_t(self->width) * self->height * 4;
    const uint32_t seed = seedFromParam(self->hostValues[kSeedParam]);
    // A new seed is a new scene; if it cannot be built the old one stays.
    if (seed != self->scene.seed()) self->scene.build(self->width, self->height, seed);
    const void* input = inframe;
    if (input == nullptr) {
        // A source is updated without an input: it renders from a black
        // picture, as it would on a FreeFrame host's cleared frame; an
        // effect given no input paints black.
        std::memset(outframe, 0, bytes);
        input = outframe;
    }
    // On failure the output is black, which is all a frei0r host can be told.
    self->scene.render(stepAtTime(hostSeconds(*self, time, caller)), input, outframe);
}

}  // namespace

F0R_EXPORT int f0r_init(void) { return 1; }

F0R_EXPORT void f0r_deinit(void) {}

F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (info == nullptr) return;
    info->name = pluginDescriptor.name;
    info->author = kAuthor;
    info->plugin_type = pluginDescriptor.type == ff::kTypeSource ? F0R_PLUGIN_TYPE_SOURCE : F0R_PLUGIN_TYPE_FILTER;
    // Byte 0 blue, 1 green, 2 red, 3 alpha: the FreeFrame 32-bit pixel.
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = static_cast<int>(pluginDescriptor.majorVersion);
    info->minor_version = static_cast<int>(pluginDescriptor.minorVersion);
    info->num_params = kFrei0rParams;
    info->explanation = pluginDescriptor.description;
}

F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    if (info == nullptr || !indexIsValid(param_index)) return;
    // Every parameter is a FreeFrame standard one in 0..1, which is what a
    // frei0r double is; so is the seed.
    info->type = F0R_PARAM_DOUBLE;
    if (param_index == kSeedParam) {
        info->name = kSeedName;
        info->explanation = kSeedExplanation;
        return;
    }
    info->name = paramTable[param_index].name;
    info->explanation = paramDescription(param_index);
}

F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    Frei0rInstance* instance = new (std::nothrow) Frei0rInstance();
    if (instance == nullptr) return nullptr;
    if (!instance->scene.build(width, height, seedFromParam(0.0))) {
        delete instance;
        return nullptr;
    }
    instance->width = width;
    instance->height = height;
    for (int i = 0; i < kNumParams; ++i) instance->hostValues[i] = instance->scene.obj().getParameter(uint32_t(i));
    instance->hostValues[kSeedParam] = 0.0;
    return instance;
}

F0R_EXPORT void f0r_destruct(f0r_instance_t instance) { delete static_cast<Frei0rInstance*>(instance); }

F0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    Frei0rInstance* self = static_cast<Frei0rInstance*>(instance);
    if (self == nullptr || param == nullptr || !indexIsValid(param_index)) return;
    const double value = *static_cast<const f0r_param_double*>(param);
    self->hostValues[param_index] = value;
    // Stored unclamped, as a FreeFrame setParameter stores it; the next
    // frame clamps it (NaN becomes 0 there). The seed acts at the next frame.
    if (param_index != kSeedParam) self->scene.obj().setParameter(uint32_t(param_index), static_cast<float>(value));
}

F0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    const Frei0rInstance* self = static_cast<const Frei0rInstance*>(instance);
    if (self == nullptr || param == nullptr || !indexIsValid(param_index)) return;
    *static_cast<f0r_param_double*>(param) = self->hostValues[param_index];
}

// noinline: the return address names the host's code, which tells the unit
// of its times.
F0R_EXPORT __attribute__((noinline)) void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                                                     uint32_t* outframe) {
    render(static_cast<Frei0rInstance*>(instance), time, __builtin_return_address(0), inframe, outframe);
}

F0R_EXPORT __attribute__((noinline)) void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                                                      const uint32_t* inframe2, const uint32_t* inframe3,
                                                      uint32_t* outframe) {
    (void)inframe2;
    (void)inframe3;
    render(static_cast<Frei0rInstance*>(instance), time, __builtin_return_address(0), inframe1, outframe);
}
