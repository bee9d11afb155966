// vyrhost bench: how fast one instance renders at a given size and
// parameter set, as a user measures it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "commands.h"
#include "frame_source.h"
#include "host_error.h"
#include "session.h"

namespace vyrhost {

namespace {

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
    size_t rank = size_t(p / 100.0 * double(sorted.size()) + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), sorted.size());
    return sorted[rank - 1];
}

double median(const std::vector<double>& sorted) {
    const size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : 0.5 * (sorted[n / 2 - 1] + sorted[n / 2]);
}

}  // namespace

int runBench(const BenchOptions& o) {
    if (o.frames < 1) throw HostError("--frames must be at least 1");
    if (o.warmup < 0) throw HostError("--warmup must not be negative");
    applyThreadSettings(o, false);
    Session session = openSession(o);
    const Plugin& plugin = *session.plugin;
    const int width = session.size.width, height = session.size.height, bytesPerPixel = session.bytesPerPixel;
    FrameSource source(o.input, !plugin.info().isSource(), width, height, bytesPerPixel, o.pluginDir);

    const int threadsBefore = processThreadCount();
    session.setRate(session.file.fps.empty() ? Rate() : parseRate(session.file.fps));
    session.seedIfAsked();
    Instance inst(plugin, width, height, o.depth);
    std::vector<uint8_t> in(inst.frameBytes()), out(o.copy ? inst.frameBytes() : 0);

    using Clock = std::chrono::steady_clock;
    std::vector<double> ms;
    ms.reserve(size_t(o.frames));
    int threadsPeak = threadsBefore;
    const long total = o.warmup + o.frames;
    for (long i = 0; i < total; ++i) {
        // Filling the input and setting parameters (ramps run over warm-up
        // and timed frames) are the host's work, not the plug-in's: untimed.
        source.next(in.data(), i, true);
        session.apply(inst, i, total);
        const auto t0 = Clock::now();
        const bool ok = o.copy ? inst.processFrameCopy(in.data(), out.data()) : inst.processFrame(in.data());
        const auto t1 = Clock::now();
        if (!ok)
            throw HostError(plugin.name() + ": " + (o.copy ? "processFrameCopy" : "processFrame") +
                            " failed at frame " + std::to_string(i));
        if (i >= o.warmup) ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        if (i == 0 || i == total - 1) threadsPeak = std::max(threadsPeak, processThreadCount());
    }

    double sum = 0.0;
    for (double v : ms) sum += v;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    // Threads the plug-in started (its team stays alive between frames) plus
    // the calling thread.
    const int threads = threadsPeak - threadsBefore + 1;
    std::printf("%s at %dx%d, %d-bit, %s: %ld frames after %ld warm-up frames\n", plugin.name().c_str(), width, height,
                o.depth, o.copy ? "processFrameCopy" : "processFrame", o.frames, o.warmup);
    std::printf("frames per second: %.1f\n", sum > 0.0 ? 1000.0 * double(ms.size()) / sum : 0.0);
    std::printf("ms per frame: median %.3f, 90th percentile %.3f, worst %.3f\n", median(sorted),
                percentile(sorted, 90.0), sorted.back());
    std::printf("threads: %d\n", threads);
    return 0;
}

}  // namespace vyrhost
