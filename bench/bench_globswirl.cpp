// VyrGlobSwirl1: motion, blob stamps and colouring.
#include "plugin_bench.h"

namespace {

const bool kRegistered = [] {
    registerFrameBenchmarks("VyrGlobSwirl1",
                            {
                                // 149 particles, blobs up to 0.32 x 256 x K pixels wide.
                                {"defaults", {}},
                                // 1024 particles of the smallest size: the motion step at its longest.
                                {"1024particles", {{"Dot Scale", 0.0f}, {"Num Particles", 1.0f}}},
                            },
                            {1, 2});
    return true;
}();

}  // namespace
