// VyrSnowSpecks1: the motion step, the cones and the grey picture, drawn
// in bands of rows.
#include "plugin_bench.h"

namespace {

const bool kRegistered = [] {
    registerFrameBenchmarks("VyrSnowSpecks1",
                            {
                                // 8 dots of reach up to 385 pixels.
                                {"defaults", {}},
                                // The heaviest scene: 16 dots of reach up to 512 pixels.
                                {"largest-dots", {{"Dot Scale", 1.0f}, {"Num Particles", 1.0f}}},
                            },
                            {1, 2});
    return true;
}();

}  // namespace
