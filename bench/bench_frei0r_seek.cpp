// What a seek costs in the frei0r face: the first picture at 10 minutes of
// a fresh instance (the motion run from the seeded start without drawing),
// and a scrub back once the instance has been there (from the nearest
// motion checkpoint). Default values, 1280 x 720, through the f0r_* entry
// points as a host calls them.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace {

struct Frei0rApi {
    void* handle = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;

    explicit Frei0rApi(const std::string& name) {
        handle = dlopen((std::string(VYR_FREI0R_DIR) + "/" + name + ".so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        construct = reinterpret_cast<decltype(construct)>(dlsym(handle, "f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(dlsym(handle, "f0r_destruct"));
        update = reinterpret_cast<decltype(update)>(dlsym(handle, "f0r_update"));
    }
};

constexpr unsigned kW = 1280, kH = 720;
constexpr double kTenMinutes = 600.0;

void seek(benchmark::State& state, const std::string& name, bool scrubBack) {
    Frei0rApi api(name);
    if (api.update == nullptr) {
        state.SkipWithError("frei0r plug-in not built");
        return;
    }
    std::vector<uint32_t> input(size_t(kW) * kH, 0x80808080u), output(size_t(kW) * kH);
    for (auto _ : state) {
        state.PauseTiming();
        f0r_instance_t instance = api.construct(kW, kH);
        if (scrubBack) api.update(instance, kTenMinutes, input.data(), output.data());
        state.ResumeTiming();
        api.update(instance, scrubBack ? kTenMinutes / 2 + 1.0 / 3 : kTenMinutes, input.data(), output.data());
        state.PauseTiming();
        api.destruct(instance);
        state.ResumeTiming();
    }
}

void registerSeeks() {
    for (const char* name : {"VyrSnowSpecks1", "VyrGlobHeap1", "VyrGlobSwirl1", "VyrBrushDrift1"}) {
        benchmark::RegisterBenchmark((std::string(name) + "/seek_to_10_minutes").c_str(),
                                     [name](benchmark::State& s) { seek(s, name, false); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(2);
        benchmark::RegisterBenchmark((std::string(name) + "/scrub_back_to_5_minutes").c_str(),
                                     [name](benchmark::State& s) { seek(s, name, true); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
}

const int kRegistered = (registerSeeks(), 0);

}  // namespace
