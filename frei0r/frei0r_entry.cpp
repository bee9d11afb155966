// The frei0r 1.x face of a deliverable: the f0r_* entry points, answered
// from the same descriptor, parameter table and frame operations as its
// FreeFrame library. Compiled once per deliverable, like the framework.
#include <cstdint>
#include <cstring>
#include <new>

#include "plug_obj.h"

extern "C" {
#include <frei0r.h>
}

#define F0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char kAuthor[] = "the Vyr authors";

// A frei0r instance: the FreeFrame instance it renders through, and the
// values exactly as the host set them. The frame operations clamp the
// instance's own copies in place, while a frei0r host expects to read back
// what it wrote, whatever frames ran in between.
struct Frei0rInstance {
    PlugObj* obj = nullptr;
    double hostValues[kNumParams] = {};
};

bool indexIsValid(int index) { return index >= 0 && index < kNumParams; }

}  // namespace

F0R_EXPORT int f0r_init(void) { return 1; }

F0R_EXPORT void f0r_deinit(void) {}

F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (info == nullptr) return;
    info->name = pluginDescriptor.name;
    info->author = kAuthor;
    info->plugin_type =
        pluginDescriptor.type == ff::kTypeSource ? F0R_PLUGIN_TYPE_SOURCE : F0R_PLUGIN_TYPE_FILTER;
    // Byte 0 blue, 1 green, 2 red, 3 alpha: the FreeFrame 32-bit pixel.
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = static_cast<int>(pluginDescriptor.majorVersion);
    info->minor_version = static_cast<int>(pluginDescriptor.minorVersion);
    info->num_params = kNumParams;
    info->explanation = pluginDescriptor.description;
}

F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    if (info == nullptr || !indexIsValid(param_index)) return;
    // Every parameter is a FreeFrame standard one in 0..1, which is what a
    // frei0r double is.
    info->name = paramTable[param_index].name;
    info->type = F0R_PARAM_DOUBLE;
    info->explanation = paramDescription(param_index);
}

F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    const VideoInfoStruct info = {width, height, ff::kDepth32, 0};
    Frei0rInstance* instance = new (std::nothrow) Frei0rInstance();
    if (instance == nullptr) return nullptr;
    instance->obj = instantiate(&info);
    if (instance->obj == nullptr) {
        delete instance;
        return nullptr;
    }
    for (int i = 0; i < kNumParams; ++i) instance->hostValues[i] = instance->obj->getParameter(uint32_t(i));
    return instance;
}

F0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
    Frei0rInstance* self = static_cast<Frei0rInstance*>(instance);
    if (self == nullptr) return;
    deInstantiate(self->obj);
    delete self;
}

F0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    Frei0rInstance* self = static_cast<Frei0rInstance*>(instance);
    if (self == nullptr || param == nullptr || !indexIsValid(param_index)) return;
    const double value = *static_cast<const f0r_param_double*>(param);
    self->hostValues[param_index] = value;
    // Stored unclamped, as a FreeFrame setParameter stores it; the next
    // frame clamps it (NaN becomes 0 there).
    self->obj->setParameter(uint32_t(param_index), static_cast<float>(value));
}

F0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    const Frei0rInstance* self = static_cast<const Frei0rInstance*>(instance);
    if (self == nullptr || param == nullptr || !indexIsValid(param_index)) return;
    *static_cast<f0r_param_double*>(param) = self->hostValues[param_index];
}

// Every call renders the next frame: the generators animate per frame, so
// the time argument is not consulted (hosts disagree on its unit anyway).
F0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
    (void)time;
    Frei0rInstance* self = static_cast<Frei0rInstance*>(instance);
    if (self == nullptr || outframe == nullptr) return;
    PlugObj& obj = *self->obj;
    const void* input = inframe;
    if (input == nullptr) {
        // A source is updated without an input: it renders from a black
        // picture, as it would on a FreeFrame host's cleared frame; an
        // effect given no input paints black.
        std::memset(outframe, 0, obj.frameBytes());
        input = outframe;
    } else if (input != outframe) {
        // The host's output buffer may hold anything (frame pools hand out
        // stale or uninitialised memory); the framework starts output slot 0
        // from it, so it starts black instead.
        std::memset(outframe, 0, obj.frameBytes());
    }
    void* inputs[1] = {const_cast<void*>(input)};
    ProcessFrameCopyStruct copy = {1, inputs, outframe};
    // On failure the framework clears the output, which is all a frei0r
    // host can be told.
    obj.processFrameCopy(&copy);
}

F0R_EXPORT void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                            const uint32_t* inframe2, const uint32_t* inframe3, uint32_t* outframe) {
    (void)inframe2;
    (void)inframe3;
    f0r_update(instance, time, inframe1, outframe);
}
