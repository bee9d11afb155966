// What a deliverable tells the host about itself, and the parameter records
// that every deliverable shares. Each deliverable defines `pluginDescriptor`
// and its `paramTable` once, next to its generator.
#pragma once

#include <cstdint>

#include "ffapi.h"

struct ParamDefStruct {
    float defaultValue;
    char name[16];  // NUL-padded, at most 15 characters
};

struct ParamValueStruct {
    float value;
    char displayValue[16];
};

struct PluginDescriptor {
    const char* uniqueId;  // four characters
    const char* name;
    uint32_t type;         // ff::kTypeEffect or ff::kTypeSource
    uint32_t majorVersion;
    uint32_t minorVersion;
    const char* description;
    const char* about;
    uint32_t numParams;
    // Records passed through the multi-frame entry must declare the
    // instance's own bytes per pixel (for generators whose frame-sized
    // buffers were sized from it at instantiation).
    bool slotDepthMustMatchInstance;
};

// One per deliverable.
extern const PluginDescriptor pluginDescriptor;
// Library-wide and writable: a mode preset may publish new defaults into it.
// One row per parameter, then a row of zeros.
extern ParamDefStruct paramTable[];

// The nearest value in 0..1; NaN becomes 0 so that no NaN ever reaches a
// float-to-int conversion, and -0 becomes +0.
inline float clampParam(float v) {
    if (!(v > 0.0f)) return 0.0f;
    if (v > 1.0f) return 1.0f;
    return v;
}

// The rotation angle of a parameter value v in radians: (v - 0.5) x 2 pi,
// formed in double precision and stored as float.
inline float angleFromParam(float v) {
    return static_cast<float>((static_cast<double>(v) - 0.5) * (2.0 * 3.14159265358979323846));
}

// Writes the "%f" text of v into a 16-byte display field: blanks first,
// then the text and its NUL. Texts longer than 15 characters are cut.
void formatDisplayValue(float v, char (&field)[16]);

// Capability answers, the same for every deliverable.
uint32_t pluginCaps(uint32_t capability);
