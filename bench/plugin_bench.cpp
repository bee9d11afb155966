#include "plugin_bench.h"

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdlib>

#include "plugin_host.h"

namespace {

void runFrames(benchmark::State& state, const std::string& plugin, uint32_t w, uint32_t h,
               const BenchSetting& setting, int threads) {
    const int savedThreads = omp_get_max_threads();
    omp_set_num_threads(threads);
    vyrtest::PluginLibrary lib(plugin);
    std::srand(1);
    vyrtest::Instance inst(lib, w, h, ff::kDepth32);
    if (!inst.ok()) {
        state.SkipWithError("instantiate failed");
        return;
    }
    for (const auto& p : setting.params) inst.setParameter(p.first, p.second);
    std::vector<uint8_t> frame(inst.frameBytes(), 0);
    inst.processFrame(frame);  // seeds the scene; motion starts with the next frame
    for (auto _ : state) {
        if (inst.processFrame(frame) != 0) state.SkipWithError("processFrame failed");
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations());
    omp_set_num_threads(savedThreads);
}

}  // namespace

void registerFrameBenchmarks(const std::string& plugin, const std::vector<BenchSetting>& settings,
                             const std::vector<int>& threadCounts) {
    static const std::pair<uint32_t, uint32_t> kSizes[] = {{640, 480}, {1920, 1080}};
    for (const BenchSetting& s : settings)
        for (const auto& size : kSizes)
            for (int threads : threadCounts) {
                const std::string name = "BM_" + plugin + "/" + s.label + "/" + std::to_string(size.first) + "x" +
                                         std::to_string(size.second) + "/omp_threads:" + std::to_string(threads);
                benchmark::RegisterBenchmark(name.c_str(),
                                             [plugin, s, size, threads](benchmark::State& state) {
                                                 runFrames(state, plugin, size.first, size.second, s, threads);
                                             })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();  // the frame may run on a team of threads
            }
}
