// Both faces of every plug-in driven from two host threads at once: info
// calls, instantiate, frames and parameter changes overlap, and each thread
// must get exactly the pictures it gets alone. Built with ThreadSanitizer
// (./vyr.sh tsan) the same cases also prove the overlap free of data races.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "frei0r_host.h"
#include "plugin_host.h"

// One random sequence per thread, as a host would get with a thread-local
// generator. The C library's single sequence is the FreeFrame contract and
// stays; with it, two threads' pictures would depend on how their calls
// interleave, which would hide any other coupling. The plug-ins bind to
// these definitions because the test exports them (ENABLE_EXPORTS).
namespace {
thread_local uint32_t gRandState = 1;
}
extern "C" int rand(void) {
    gRandState = gRandState * 1103515245u + 12345u;
    return static_cast<int>((gRandState >> 1) & 0x7fffffffu);
}
extern "C" void srand(unsigned seed) { gRandState = seed; }

using vyrtest::Frei0rInstance;
using vyrtest::Frei0rLibrary;
using vyrtest::Instance;
using vyrtest::PluginLibrary;

namespace {

// What one thread does: its size, seed and parameter values, which differ
// between the two threads so that any leak between them shows.
struct Scenario {
    unsigned width, height;
    uint32_t bitDepth;
    unsigned seed;
    float base;          // every parameter starts at base + index / 64, wrapped into 0..1
    float modeSweep[4];  // "Mode" (or the first parameter) frame by frame
};

const Scenario kScenarios[2] = {
    {40, 24, ff::kDepth32, 7, 0.15f, {0.1f, 0.45f, 0.85f, 0.3f}},
    {33, 17, ff::kDepth24, 99, 0.55f, {0.95f, 0.25f, 0.65f, 0.05f}},
};

constexpr int kInstancesPerRun = 2;
constexpr int kFramesPerInstance = 4;

float startValue(const Scenario& s, uint32_t index) {
    float v = s.base + float(index) / 64.0f;
    return v > 1.0f ? v - 1.0f : v;
}

// The row that every frame changes: "Mode" where there is one (it publishes
// library-wide defaults), else parameter 0.
uint32_t sweptRow(const PluginLibrary& lib) {
    const int mode = lib.parameterIndex("Mode");
    return mode >= 0 ? uint32_t(mode) : 0u;
}

// The complete answers of the info calls, taken once before the threads
// start; every call on either thread must give the same bytes.
struct InfoBytes {
    std::vector<uint8_t> info, extended;
    std::vector<std::string> names;

    explicit InfoBytes(const PluginLibrary& lib) {
        const auto* i = reinterpret_cast<const uint8_t*>(lib.info());
        info.assign(i, i + sizeof(PlugInfoStruct));
        const auto* e = reinterpret_cast<const uint8_t*>(lib.extendedInfo());
        extended.assign(e, e + sizeof(PlugExtendedInfoStruct));
        for (uint32_t k = 0; k < lib.numParameters(); ++k) names.push_back(lib.parameterName(k));
    }

    bool matches(const PluginLibrary& lib) const {
        if (std::memcmp(lib.info(), info.data(), info.size()) != 0) return false;
        if (std::memcmp(lib.extendedInfo(), extended.data(), extended.size()) != 0) return false;
        for (uint32_t k = 0; k < names.size(); ++k)
            if (lib.parameterName(k) != names[k]) return false;
        return true;
    }
};

struct Outcome {
    std::vector<uint64_t> frames;  // a hash per frame
    int infoMismatches = 0;
};

Outcome runFreeFrame(const PluginLibrary& lib, const InfoBytes& expected, const Scenario& s) {
    Outcome out;
    srand(s.seed);
    const uint32_t swept = sweptRow(lib);
    const uint32_t count = lib.numParameters();
    for (int run = 0; run < kInstancesPerRun; ++run) {
        if (!expected.matches(lib)) ++out.infoMismatches;
        for (uint32_t k = 0; k < count; ++k) (void)lib.parameterDefault(k);
        Instance inst(lib, s.width, s.height, s.bitDepth);
        // Every value set: the defaults another thread publishes meanwhile
        // must not reach this thread's pictures.
        for (uint32_t k = 0; k < count; ++k) inst.setParameter(k, startValue(s, k));
        for (int f = 0; f < kFramesPerInstance; ++f) {
            inst.setParameter(swept, s.modeSweep[f]);
            if (!expected.matches(lib)) ++out.infoMismatches;
            std::vector<uint8_t> frame = vyrtest::texturedPicture(s.width, s.height, 4, unsigned(f));
            frame.resize(inst.frameBytes());
            if (f % 2 == 0) {
                inst.processFrame(frame);
                out.frames.push_back(vyrtest::fnv1a(frame));
            } else {
                std::vector<uint8_t> output(inst.frameBytes());
                inst.processFrameCopy({frame.data()}, output);
                out.frames.push_back(vyrtest::fnv1a(output));
            }
            (void)inst.displayText(swept);
        }
    }
    return out;
}

Outcome runFrei0r(const Frei0rLibrary& lib, const Scenario& s) {
    Outcome out;
    srand(s.seed);
    const f0r_plugin_info_t info = lib.info();
    const int count = info.num_params;
    const std::string name = info.name;
    int swept = 0;
    for (int k = 0; k < count; ++k)
        if (std::string(lib.paramInfo(k).name) == "Mode") swept = k;
    for (int run = 0; run < kInstancesPerRun; ++run) {
        if (std::string(lib.info().name) != name) ++out.infoMismatches;
        Frei0rInstance inst(lib, s.width, s.height);
        if (!inst.ok()) return out;
        for (int k = 0; k < count; ++k) inst.set(k, startValue(s, uint32_t(k)));
        for (int f = 0; f < kFramesPerInstance; ++f) {
            inst.set(swept, s.modeSweep[f]);
            if (inst.get(swept) != double(s.modeSweep[f])) ++out.infoMismatches;
            const std::vector<uint8_t> input = vyrtest::texturedPicture(s.width, s.height, 4, unsigned(f));
            out.frames.push_back(vyrtest::fnv1a(inst.render(f % 2 == 0 ? &input : nullptr, f / 30.0)));
        }
    }
    return out;
}

template <typename Run>
void expectSoloPicturesOnTwoThreads(Run run) {
    const Outcome solo[2] = {run(kScenarios[0]), run(kScenarios[1])};
    ASSERT_EQ(solo[0].frames.size(), size_t(kInstancesPerRun * kFramesPerInstance));
    ASSERT_EQ(solo[1].frames.size(), size_t(kInstancesPerRun * kFramesPerInstance));
    // A few rounds, so that different interleavings are met.
    for (int round = 0; round < 3; ++round) {
        Outcome together[2];
        std::thread other([&] { together[1] = run(kScenarios[1]); });
        together[0] = run(kScenarios[0]);
        other.join();
        for (int t = 0; t < 2; ++t) {
            EXPECT_EQ(together[t].infoMismatches, 0) << "thread " << t;
            EXPECT_EQ(together[t].frames, solo[t].frames) << "thread " << t << ", round " << round;
        }
    }
}

class TwoThreads : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(TwoThreads, FreeFrameInstancesGiveTheirSoloPictures) {
    const PluginLibrary lib(GetParam());
    const InfoBytes expected(lib);
    expectSoloPicturesOnTwoThreads([&](const Scenario& s) { return runFreeFrame(lib, expected, s); });
}

TEST_P(TwoThreads, Frei0rInstancesGiveTheirSoloPictures) {
    const Frei0rLibrary lib(GetParam());
    expectSoloPicturesOnTwoThreads([&](const Scenario& s) { return runFrei0r(lib, s); });
}

// The defaults a preset publishes stay visible to later FreeFrame instances
// while other threads read them: the published pair is always whole.
TEST(TwoThreadsDefaults, PublishedDefaultsArriveWholeAtInstancesOfOtherThreads) {
    const PluginLibrary lib("VyrGlobSwirl1");
    const uint32_t mode = uint32_t(lib.parameterIndex("Mode"));
    const uint32_t speed = uint32_t(lib.parameterIndex("Speed"));
    const uint32_t count = uint32_t(lib.parameterIndex("Num Particles"));
    // Presets 1 and 2 publish 0.5 and 0.2 for both rows; the table starts
    // with two different values, so one frame publishes before the race.
    auto publish = [&](Instance& inst, int f) {
        inst.setParameter(mode, f % 2 == 0 ? 0.25f : 0.45f);
        inst.renderFrame();
    };
    {
        Instance first(lib, 16, 16);
        publish(first, 0);
    }
    std::thread publisher([&] {
        Instance inst(lib, 16, 16);
        for (int f = 0; f < 40; ++f) publish(inst, f);
    });
    int torn = 0;
    for (int i = 0; i < 40; ++i) {
        Instance inst(lib, 16, 16);
        if (inst.getParameter(speed) != inst.getParameter(count)) ++torn;
    }
    publisher.join();
    EXPECT_EQ(torn, 0);
    // The last preset selected was 2: its defaults stay published.
    EXPECT_EQ(lib.parameterDefault(speed), 0.2f);
    Instance later(lib, 16, 16);
    EXPECT_EQ(later.getParameter(count), 0.2f);
}

INSTANTIATE_TEST_SUITE_P(All, TwoThreads, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const auto& info) { return info.param; });
