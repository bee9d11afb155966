// VyrBrushDrift1: motion, canvas fill, brush dots, coverage weighting,
// swirl and feedback blend.
#include "plugin_bench.h"

namespace {

const bool kRegistered = [] {
    registerFrameBenchmarks("VyrBrushDrift1",
                            {
                                // 91 particles, dots up to 0.5 x 256 x K pixels wide.
                                {"defaults", {}},
                                // All 1024 particles at the default dot size: the painting at its longest.
                                {"1024particles", {{"Num Particles", 1.0f}}},
                            },
                            {1, 2});
    return true;
}();

}  // namespace
