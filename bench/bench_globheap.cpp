// VyrGlobHeap1: spin, motion, blob stamps and grey output.
#include "plugin_bench.h"

namespace {

const bool kRegistered = [] {
    registerFrameBenchmarks("VyrGlobHeap1",
                            {
                                // 30 particles, blobs up to 0.8 x 512 x K pixels wide.
                                {"defaults", {}},
                                // Every particle at the largest blob size.
                                {"heavy", {{"Num Particles", 1.0f}, {"Dot Scale", 1.0f}}},
                            },
                            {1, 2});
    return true;
}();

}  // namespace
