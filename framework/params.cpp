#include <cstdio>
#include <cstring>
#include <mutex>

#include "descriptor.h"

namespace {

// Compiled into each library: one lock per parameter table.
std::mutex gDefaultsLock;

}  // namespace

float readDefault(const ParamDefStruct* table, uint32_t row) {
    std::lock_guard<std::mutex> hold(gDefaultsLock);
    return table[row].defaultValue;
}

void readDefaults(const ParamDefStruct* table, uint32_t count, float* out) {
    std::lock_guard<std::mutex> hold(gDefaultsLock);
    for (uint32_t i = 0; i < count; ++i) out[i] = table[i].defaultValue;
}

void publishDefaults(ParamDefStruct* table, int rowA, float valueA, int rowB, float valueB) {
    std::lock_guard<std::mutex> hold(gDefaultsLock);
    table[rowA].defaultValue = valueA;
    table[rowB].defaultValue = valueB;
}

void formatDisplayValue(float v, char (&field)[16]) {
    std::memset(field, ' ', sizeof field);
    // snprintf never writes past the field and always leaves a NUL, which is
    // the bound for values of 10^8 and more (set before a frame clamps them).
    char text[64];
    int n = std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    if (n < 0) n = 0;
    if (n > 15) n = 15;
    std::memcpy(field, text, static_cast<size_t>(n));
    field[n] = '\0';
}

// Codes 4, 16, 17 and 18 to 21 mean nothing in FreeFrame 1.0; the answers
// are those that hosts written against these plug-ins have always received,
// kept so that no host that happens to ask sees a change.
uint32_t pluginCaps(uint32_t capability) {
    // NOLINTBEGIN(bugprone-branch-clone): one answer per code, as hosts have always received them
    switch (capability) {
        case 0:
            return 0;  // 16-bit video: refused
        case 1:
            return 1;  // 24-bit video
        case 2:
            return 1;  // 32-bit video
        case 3:
            return 1;  // processFrameCopy
        case 4:
            return 1;  // undefined code
        case 10:
            return 1;  // minimum input frames
        case 11:
            return 1;  // maximum input frames
        case 15:
            return 3;  // copy or in place: both
        case 16:
            return 1;  // undefined code
        case 17:
            return 2;  // undefined code
        case 18:
        case 19:
        case 20:
        case 21:
            return 65535;  // undefined codes
        default:
            return 0;  // 5 to 9, 12 to 14 and 22 on: undefined, none
    }
    // NOLINTEND(bugprone-branch-clone)
}
