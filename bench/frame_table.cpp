// The frame-rate table: every plug-in driven through plugMain like a host
// (processFrame in place, 32-bit pixels), at its defaults and heaviest
// settings at 1920x1080 and at its defaults at 3840x2160, with 1 and 2
// OpenMP threads and under every instruction-set path this CPU offers.
//
//   frame_table [--frames N] [--only PLUGIN] [--isa PATHS]
//
// Each row gives the median frame time over N frames (after a seeding
// frame and a few warm-up frames), the frame rate that time allows, and the
// time in units of a memcpy of the same frame, measured just before the
// row so that a busy machine slows both alike.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ffhost.h"
#include "plugin_bench.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
    const char* plugin;
    const char* label;
    uint32_t width, height;
    std::vector<std::pair<const char*, float>> params;
};

const std::vector<Case>& cases() {
    // clang-format off
    static const std::vector<Case> list = {
        {"VyrSnowSpecks1", "1080p defaults", 1920, 1080, {}},
        {"VyrSnowSpecks1", "1080p heaviest", 1920, 1080, {{"Dot Scale", 1.0f}, {"Brightness", 1.0f}, {"Num Particles", 1.0f}}},
        {"VyrSnowSpecks1", "4K defaults", 3840, 2160, {}},
        {"VyrGlobHeap1", "1080p defaults", 1920, 1080, {}},
        {"VyrGlobHeap1", "1080p heaviest", 1920, 1080, {{"Dot Scale", 1.0f}, {"Num Particles", 1.0f}, {"NoiseLevel", 1.0f}}},
        {"VyrGlobHeap1", "4K defaults", 3840, 2160, {}},
        {"VyrGlobSwirl1", "1080p defaults", 1920, 1080, {}},
        {"VyrGlobSwirl1", "1080p heaviest", 1920, 1080,
         {{"Dot Scale", 0.67f}, {"Num Particles", 1.0f}, {"Alpha Switch", 1.0f}, {"NoiseLevel", 1.0f}}},
        {"VyrGlobSwirl1", "4K defaults", 3840, 2160, {}},
        {"VyrBrushDrift1", "1080p defaults", 1920, 1080, {}},
        {"VyrBrushDrift1", "1080p heaviest", 1920, 1080,
         {{"Dot Scale", 1.0f}, {"Num Particles", 1.0f}, {"Source Zoom", 1.0f}, {"Source Range", 1.0f},
          {"Alpha Mode", 1.0f}, {"Blend Input", 1.0f}}},
        {"VyrBrushDrift1", "4K defaults", 3840, 2160, {}},
    };
    // clang-format on
    return list;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Median time of one memcpy of `bytes`, between buffers already touched.
double memcpyMs(size_t bytes, int runs) {
    std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
    std::vector<double> t;
    for (int i = 0; i < runs + 2; ++i) {
        const Clock::time_point t0 = Clock::now();
        std::memcpy(i % 2 ? a.data() : b.data(), i % 2 ? b.data() : a.data(), bytes);
        const double ms = msSince(t0);
        if (i >= 2) t.push_back(ms);
    }
    volatile uint8_t sink = a[bytes / 2] ^ b[bytes / 3];
    (void)sink;
    return median(t);
}

// Median frame time in ms, or a negative number when the plug-in refused.
double frameMs(const Case& c, int frames) {
    try {
        ffhost::Plugin lib(benchPluginPath(c.plugin));
        std::srand(1);
        ffhost::Instance inst(lib, int(c.width), int(c.height), 32);
        for (const auto& p : c.params) inst.setParameter(lib.parameterIndex(p.first), p.second);
        std::vector<uint8_t> frame(inst.frameBytes());
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 131 >> 7);  // an effect's input
        for (int i = 0; i < 4; ++i)                                                  // seeding and warm-up frames
            if (!inst.processFrame(frame.data())) return -1.0;
        std::vector<double> t;
        for (int i = 0; i < frames; ++i) {
            const Clock::time_point t0 = Clock::now();
            if (!inst.processFrame(frame.data())) return -1.0;
            t.push_back(msSince(t0));
        }
        return median(t);
    } catch (const ffhost::Error&) {
        return -1.0;
    }
}

// The paths this build can run on this CPU, fastest last; the driver asks
// the plug-ins for each through VYR_ISA.
std::vector<std::string> isaPaths() {
    std::vector<std::string> paths = {"portable"};
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) paths.push_back("avx2");
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) paths.push_back("avx512");
#endif
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 40;
    std::string only;
    std::vector<std::string> paths = isaPaths();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc) {
            frames = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (a == "--isa" && i + 1 < argc) {
            paths.clear();
            std::string list = argv[++i];
            for (size_t p = 0; p <= list.size();) {
                const size_t comma = std::min(list.find(',', p), list.size());
                if (comma > p) paths.push_back(list.substr(p, comma - p));
                p = comma + 1;
            }
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--only PLUGIN] [--isa portable,avx2,avx512]\n", argv[0]);
            return 2;
        }
    }
    const char* hostIsa = std::getenv("VYR_ISA");
    const std::string savedIsa = hostIsa ? hostIsa : "";
    std::printf(
        "median of %d frames, processFrame in place, 32-bit pixels; 'copies' = frame time / memcpy of the frame\n\n",
        frames);
    std::printf("| %-14s | %-14s | %-8s | thr | %8s | %8s | %7s |\n", "plug-in", "case", "isa", "fps", "ms", "copies");
    std::printf("|%s|%s|%s|-----|%s|%s|%s|\n", std::string(16, '-').c_str(), std::string(16, '-').c_str(),
                std::string(10, '-').c_str(), std::string(10, '-').c_str(), std::string(10, '-').c_str(),
                std::string(9, '-').c_str());
    const int savedThreads = omp_get_max_threads();
    for (const Case& c : cases()) {
        if (!only.empty() && only != c.plugin) continue;
        for (const std::string& isa : paths) {
            setenv("VYR_ISA", isa.c_str(), 1);
            for (int threads : {1, 2}) {
                omp_set_num_threads(threads);
                const double copyMs = memcpyMs(size_t(c.width) * c.height * 4, 40);
                const double ms = frameMs(c, frames);
                if (ms < 0) {
                    std::printf("| %-14s | %-14s | %-8s | %3d | %8s | %8s | %7s |\n", c.plugin, c.label, isa.c_str(),
                                threads, "failed", "", "");
                } else {
                    std::printf("| %-14s | %-14s | %-8s | %3d | %8.1f | %8.3f | %7.1f |\n", c.plugin, c.label,
                                isa.c_str(), threads, 1000.0 / ms, ms, ms / copyMs);
                }
                std::fflush(stdout);
            }
        }
    }
    omp_set_num_threads(savedThreads);
    if (savedIsa.empty())
        unsetenv("VYR_ISA");
    else
        setenv("VYR_ISA", savedIsa.c_str(), 1);
    return 0;
}
