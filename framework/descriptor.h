// What a plug-in tells the host about itself, and the parameter records
// that every plug-in shares. Each plug-in defines `pluginDescriptor` in its
// descriptor.cpp and declares its parameters once, in its params.h
// (`kParamSpecs`, `kNumParams`); the framework builds `paramTable` from that.
#pragma once

#include <cstddef>
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

// One parameter as a plug-in declares it: its row in the table, the exact
// name hosts show (at most 15 characters), its default in 0..1 and one line
// saying what the value does, in the units a user sees. The description is
// for hosts that can show one (frei0r's explanation); the FreeFrame records
// carry only the name and the default.
struct ParamSpec {
    int index;
    const char* name;
    float defaultValue;
    const char* description;
};

// Whether a plug-in's declarations hold together: row i declares index i,
// there are exactly `count` rows, every name fits the 16-byte field, every
// default lies in 0..1 and every row says what it does. For a static_assert
// next to the declarations.
template <std::size_t N>
constexpr bool paramSpecsAgree(const ParamSpec (&specs)[N], int count) {
    if (static_cast<std::size_t>(count) != N) return false;
    for (std::size_t i = 0; i < N; ++i) {
        const ParamSpec& s = specs[i];
        if (s.index != static_cast<int>(i)) return false;
        if (s.name == nullptr || s.name[0] == '\0') return false;
        std::size_t length = 0;
        while (s.name[length] != '\0') ++length;
        if (length > 15) return false;
        if (!(s.defaultValue >= 0.0f && s.defaultValue <= 1.0f)) return false;
        if (s.description == nullptr || s.description[0] == '\0') return false;
    }
    return true;
}

struct PluginDescriptor {
    const char* uniqueId;  // four characters
    const char* name;
    uint32_t type;  // ff::kTypeEffect or ff::kTypeSource
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

// One per plug-in.
extern const PluginDescriptor pluginDescriptor;
// Library-wide and writable: a mode preset may publish new defaults into it.
// One row per parameter, then a row of zeros; built from the plug-in's
// `kParamSpecs` before any code runs (constant initialisation). Defaults are
// read and written only through readDefault(s) and publishDefaults below.
extern ParamDefStruct* const paramTable;

// The one-line description of parameter `index` of this plug-in, or nullptr
// when there is no such parameter.
const char* paramDescription(int index);

// A frame of one instance may publish defaults (a mode preset) while another
// host thread instantiates or asks for a default. One lock per library
// orders these, so every reader sees a whole publication: both rows of it,
// never half-written values.
float readDefault(const ParamDefStruct* table, uint32_t row);
void readDefaults(const ParamDefStruct* table, uint32_t count, float* out);
void publishDefaults(ParamDefStruct* table, int rowA, float valueA, int rowB, float valueB);

// The nearest value in 0..1; NaN becomes 0 so that no NaN ever reaches a
// float-to-int conversion, and -0 becomes +0.
inline float clampParam(float v) {
    if (!(v > 0.0f)) return 0.0f;
    if (v > 1.0f) return 1.0f;
    return v;
}

// Writes the "%f" text of v into a 16-byte display field: blanks first,
// then the text and its NUL. Texts longer than 15 characters are cut.
void formatDisplayValue(float v, char (&field)[16]);

// Capability answers, the same for every plug-in.
uint32_t pluginCaps(uint32_t capability);
