// One frame of VyrGlobHeap1 through plugMain, at the defaults and at the
// heaviest setting (every particle, largest blobs), with 1 and 2 threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdlib>
#include <vector>

#include "plugin_host.h"

namespace {

void BM_GlobHeap(benchmark::State& state) {
    const uint32_t width = uint32_t(state.range(0));
    const uint32_t height = width == 640 ? 480 : 1080;
    const bool heavy = state.range(1) != 0;
    const int threads = int(state.range(2));

    vyrtest::PluginLibrary lib("VyrGlobHeap1");
    std::srand(1);
    vyrtest::Instance inst(lib, width, height, ff::kDepth32);
    if (heavy) {
        inst.setParameter("Num Particles", 1.0f);
        inst.setParameter("Dot Scale", 1.0f);
    }
    const int savedThreads = omp_get_max_threads();
    omp_set_num_threads(threads);
    std::vector<uint8_t> frame(inst.frameBytes(), 0);
    inst.processFrame(frame);  // seeds the cloud
    for (auto _ : state) {
        inst.processFrame(frame);
        benchmark::DoNotOptimize(frame.data());
    }
    omp_set_num_threads(savedThreads);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_GlobHeap)
    ->ArgsProduct({{640, 1920}, {0, 1}, {1, 2}})
    ->ArgNames({"width", "heavy", "threads"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
