// One frame of VyrGlobSwirl1 through plugMain, after the seeding frame: the
// motion step, the blob stamps, the colouring, and the framework's copies in
// and out; with one and with two OpenMP threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "plugin_host.h"

namespace {

struct Setting {
    const char* label;
    std::vector<std::pair<const char*, float>> params;
};

void runFrames(benchmark::State& state, uint32_t w, uint32_t h, const Setting& setting, int threads) {
    omp_set_num_threads(threads);
    vyrtest::PluginLibrary lib("VyrGlobSwirl1");
    std::srand(1);
    vyrtest::Instance inst(lib, w, h, ff::kDepth32);
    if (!inst.ok()) {
        state.SkipWithError("instantiate failed");
        return;
    }
    for (const auto& p : setting.params) inst.setParameter(p.first, p.second);
    std::vector<uint8_t> frame(inst.frameBytes(), 0);
    inst.processFrame(frame);  // seeds the swarm
    for (auto _ : state) {
        if (inst.processFrame(frame) != 0) state.SkipWithError("processFrame failed");
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations());
}

const Setting kSettings[] = {
    // 149 particles, blobs up to 0.32 x 256 x K pixels wide.
    {"defaults", {}},
    // 1024 particles of the smallest size: the motion step at its longest.
    {"1024particles", {{"Dot Scale", 0.0f}, {"Num Particles", 1.0f}}},
};

const std::pair<uint32_t, uint32_t> kSizes[] = {{640, 480}, {1920, 1080}};

const bool kRegistered = [] {
    for (const Setting& s : kSettings)
        for (const auto& size : kSizes)
            for (int threads : {1, 2}) {
                const std::string name = std::string("BM_GlobSwirl/") + s.label + "/" + std::to_string(size.first) +
                                         "x" + std::to_string(size.second) + "/omp_threads:" + std::to_string(threads);
                benchmark::RegisterBenchmark(name.c_str(),
                                             [&s, size, threads](benchmark::State& state) {
                                                 runFrames(state, size.first, size.second, s, threads);
                                             })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();  // the frame runs on a team of threads
            }
    return true;
}();

}  // namespace
