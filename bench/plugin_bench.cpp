#include "plugin_bench.h"

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdlib>

#include "ffhost.h"

namespace {

void runFrames(benchmark::State& state, const std::string& plugin, int w, int h, const BenchSetting& setting,
               int threads) {
    const int savedThreads = omp_get_max_threads();
    omp_set_num_threads(threads);
    try {
        ffhost::Plugin lib(benchPluginPath(plugin));
        std::srand(1);
        ffhost::Instance inst(lib, w, h, 32);
        for (const auto& p : setting.params) inst.setParameter(lib.parameterIndex(p.first), p.second);
        std::vector<uint8_t> frame(inst.frameBytes(), 0);
        inst.processFrame(frame.data());  // seeds the scene; motion starts with the next frame
        for (auto _ : state) {
            if (!inst.processFrame(frame.data())) state.SkipWithError("processFrame failed");
            benchmark::DoNotOptimize(frame.data());
        }
        state.SetItemsProcessed(state.iterations());
    } catch (const ffhost::Error& e) {
        state.SkipWithError(e.what());
    }
    omp_set_num_threads(savedThreads);
}

}  // namespace

std::string benchPluginPath(const std::string& name) { return std::string(VYR_PLUGIN_DIR) + "/" + name + ".so"; }

void registerFrameBenchmarks(const std::string& plugin, const std::vector<BenchSetting>& settings,
                             const std::vector<int>& threadCounts) {
    static const std::pair<int, int> kSizes[] = {{640, 480}, {1920, 1080}};
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
