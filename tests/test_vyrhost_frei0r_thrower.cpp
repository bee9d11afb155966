// A frei0r filter that lets a C++ exception out of every frame: one of the
// broken plug-ins vyrhost must outlive. It describes itself well, so that
// `vyrhost list` shows it, and fails only once it renders.
#include <stdexcept>

extern "C" {
#include <frei0r.h>
}

namespace {
int instance;
}

extern "C" {
int f0r_init() { return 1; }
void f0r_deinit() {}
void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    info->name = "Thrower";
    info->author = "vyrhost tests";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = 0;
    info->explanation = "throws out of every frame";
}
void f0r_get_param_info(f0r_param_info_t*, int) {}
f0r_instance_t f0r_construct(unsigned, unsigned) { return &instance; }
void f0r_destruct(f0r_instance_t) {}
void f0r_set_param_value(f0r_instance_t, f0r_param_t, int) {}
void f0r_get_param_value(f0r_instance_t, f0r_param_t, int) {}
void f0r_update(f0r_instance_t, double, const uint32_t*, uint32_t*) {
    throw std::runtime_error("thrown out of f0r_update");
}
}
