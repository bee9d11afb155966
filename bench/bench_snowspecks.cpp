// One frame of VyrSnowSpecks1 through plugMain, after the seeding frame:
// the motion step, the cones and the grey picture, plus the framework's
// copies in and out.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "plugin_host.h"

namespace {

void runFrames(benchmark::State& state, uint32_t w, uint32_t h, float dotScale, float numParticles) {
    vyrtest::PluginLibrary lib("VyrSnowSpecks1");
    std::srand(1);
    vyrtest::Instance inst(lib, w, h, ff::kDepth32);
    if (!inst.ok()) {
        state.SkipWithError("instantiate failed");
        return;
    }
    if (dotScale >= 0.0f) inst.setParameter("Dot Scale", dotScale);
    if (numParticles >= 0.0f) inst.setParameter("Num Particles", numParticles);
    std::vector<uint8_t> frame(inst.frameBytes(), 0);
    inst.processFrame(frame);  // seeds the scene
    for (auto _ : state) {
        if (inst.processFrame(frame) != 0) state.SkipWithError("processFrame failed");
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// Default parameters: 8 dots of reach up to 385 pixels.
void BM_Defaults(benchmark::State& state) {
    runFrames(state, uint32_t(state.range(0)), uint32_t(state.range(1)), -1.0f, -1.0f);
}
BENCHMARK(BM_Defaults)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// The heaviest scene: 16 dots of reach up to 512 pixels.
void BM_LargestDots(benchmark::State& state) {
    runFrames(state, uint32_t(state.range(0)), uint32_t(state.range(1)), 1.0f, 1.0f);
}
BENCHMARK(BM_LargestDots)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace
