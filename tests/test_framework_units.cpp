// The framework on its own, compiled with a test deliverable whose renderer
// inverts its input and can be told to fail: instance set-up, slots, the
// frame operations' failure paths and notices.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "isa.h"
#include "plug_obj.h"
#include "plugin_host.h"
#include "thread_team.h"

namespace {

struct InstanceDeleter {
    void operator()(PlugObj* p) const { deInstantiate(p); }
};
using InstancePtr = std::unique_ptr<PlugObj, InstanceDeleter>;

InstancePtr make(uint32_t w, uint32_t h, uint32_t depth = ff::kDepth32) {
    VideoInfoStruct vi = {w, h, depth, 0};
    return InstancePtr(instantiate(&vi));
}

std::vector<uint8_t> pattern(size_t bytes, uint8_t seed) {
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = uint8_t(seed + i * 7);
    return v;
}

std::vector<uint8_t> inverted(const std::vector<uint8_t>& v) {
    std::vector<uint8_t> r(v.size());
    for (size_t i = 0; i < v.size(); ++i) r[i] = uint8_t(255 - v[i]);
    return r;
}

const char kNotReady[] = "pPlugObj->fMultiReady is false, setup for processing hasn't been done.";

}  // namespace

TEST(DisplayText, FormatsLikePrintfAndKeepsTheBlanks) {
    char field[16];
    formatDisplayValue(0.5f, field);
    EXPECT_EQ(std::string(field, 16), std::string("0.500000\0       ", 16));
    formatDisplayValue(1.0f, field);
    EXPECT_EQ(std::string(field, 9), std::string("1.000000\0", 9));
    formatDisplayValue(-0.25f, field);
    EXPECT_EQ(std::string(field, 10), std::string("-0.250000\0", 10));
}

TEST(DisplayText, LongValuesAreCutAtFifteenCharacters) {
    char field[16];
    formatDisplayValue(1.0e8f, field);  // "100000000.000000" is 16 characters
    EXPECT_EQ(std::string(field, 16), std::string("100000000.00000\0", 16));
    formatDisplayValue(-3.0e38f, field);
    EXPECT_EQ(field[15], '\0');
    EXPECT_EQ(std::strlen(field), 15u);
}

TEST(ParamClamp, ClampsIntoUnitRangeAndRemovesNaN) {
    EXPECT_EQ(clampParam(1.5f), 1.0f);
    EXPECT_EQ(clampParam(-0.25f), 0.0f);
    EXPECT_EQ(clampParam(0.3f), 0.3f);
    EXPECT_EQ(clampParam(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(clampParam(std::numeric_limits<float>::infinity()), 1.0f);
    EXPECT_FALSE(std::signbit(clampParam(-0.0f)));
}

TEST(Capabilities, AnswerTheFixedTable) {
    const uint32_t expected[] = {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 3, 1, 2, 65535, 65535, 65535, 65535, 0};
    for (uint32_t c = 0; c < sizeof expected / sizeof expected[0]; ++c) EXPECT_EQ(pluginCaps(c), expected[c]) << c;
    EXPECT_EQ(pluginCaps(1000), 0u);
}

TEST(Instantiate, BuildsAnEmptyRecordAndCopiesDefaults) {
    InstancePtr obj = make(64, 48);
    ASSERT_TRUE(obj);
    EXPECT_TRUE(obj->fMultiReady);
    ASSERT_NE(obj->fMulti, nullptr);
    EXPECT_EQ(obj->fMulti->numInputs, 0u);
    EXPECT_EQ(obj->fMulti->numOutputs, 0u);
    for (int i = 0; i < kMaxSlots; ++i) {
        for (FrameImageStruct* s : {obj->fMulti->inputs[i], obj->fMulti->outputs[i]}) {
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->formatCode, ff::kFormatPlain);
            EXPECT_EQ(s->bytesPerPixel, 0);
            EXPECT_EQ(s->pixels, nullptr);
            EXPECT_EQ(s->pixels2, nullptr);
        }
    }
    for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(obj->param(i), paramTable[i].defaultValue);
    EXPECT_EQ(obj->sceneBuffer.size(), 64u * 48u);
}

TEST(Instantiate, RefusesBadFormats) {
    EXPECT_FALSE(make(64, 48, ff::kDepth16));
    EXPECT_FALSE(make(64, 48, 3));
    EXPECT_FALSE(make(0, 48));
    EXPECT_FALSE(make(64, 0));
    EXPECT_FALSE(make(65536, 65536));    // byte count beyond a signed 32-bit int
    EXPECT_FALSE(make(0xFFFFFFFFu, 1));  // negative as a signed width
    EXPECT_TRUE(make(1, 1, ff::kDepth24));
    EXPECT_EQ(instantiate(nullptr), nullptr);
    EXPECT_EQ(deInstantiate(nullptr), -1);
}

// Ordinary frames are rendered in the host's own buffers: nothing is
// copied into slot buffers of the instance, so none are obtained.
TEST(Slots, OrdinaryFramesRenderInTheHostsBuffersWithoutSlotBuffers) {
    InstancePtr obj = make(64, 48);
    std::vector<uint8_t> frame = pattern(64 * 48 * 4, 3);
    ASSERT_EQ(obj->processFrame(frame.data()), 0);
    EXPECT_EQ(obj->lastInputPixels, frame.data());
    EXPECT_EQ(obj->lastOutputPixels, frame.data());
    std::vector<uint8_t> a = pattern(frame.size(), 1), out(frame.size(), 0);
    void* inputs[1] = {a.data()};
    ProcessFrameCopyStruct pfc = {1, inputs, out.data()};
    ASSERT_EQ(obj->processFrameCopy(&pfc), 0);
    EXPECT_EQ(obj->lastInputPixels, a.data());
    EXPECT_EQ(obj->lastOutputPixels, out.data());
    EXPECT_EQ(obj->fMulti->numInputs, 1u);
    EXPECT_EQ(obj->fMulti->numOutputs, 1u);
    EXPECT_EQ(obj->fMulti->inputs[0]->pixels, nullptr);
    EXPECT_EQ(obj->fMulti->outputs[0]->pixels, nullptr);
}

TEST(ReleaseSlot, FreesBothBuffersAndClearsTheSlot) {
    FrameImageStruct s = {ff::kFormatPacked8, 4, std::malloc(16), 2, 2, std::malloc(16), 7, 8};
    releaseSlot(&s);
    EXPECT_EQ(s.formatCode, ff::kFormatPlain);
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_EQ(s.pixels2, nullptr);
    EXPECT_EQ(s.width | s.height | s.bytesPerPixel | s.reserved1 | s.reserved2, 0);
    void* shared = std::malloc(16);
    FrameImageStruct t = {ff::kFormatPacked8, 4, shared, 2, 2, shared, 0, 0};
    releaseSlot(&t);  // the same buffer twice must be freed once
    EXPECT_EQ(t.pixels, nullptr);
}

TEST(ProcessFrame, RendersInPlaceAndClampsParameters) {
    InstancePtr obj = make(16, 8, ff::kDepth24);
    obj->setParameter(0, 2.0f);
    obj->setParameter(1, -0.25f);
    std::vector<uint8_t> frame = pattern(16 * 8 * 3, 11);
    const std::vector<uint8_t> expected = inverted(frame);
    ASSERT_EQ(obj->processFrame(frame.data()), 0);
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(obj->getParameter(0), 1.0f);
    EXPECT_EQ(obj->getParameter(1), 0.0f);
    EXPECT_EQ(obj->paramsSeen[0], 1.0f);
}

TEST(ProcessFrame, GeneratorFailureLeavesTheHostFrameUntouched) {
    InstancePtr obj = make(16, 8);
    std::vector<uint8_t> frame = pattern(16 * 8 * 4, 5);
    const std::vector<uint8_t> before = frame;
    obj->failNext = 1;
    EXPECT_EQ(obj->processFrame(frame.data()), -1);
    EXPECT_EQ(frame, before);
}

TEST(ProcessFrame, MissingOutputPixelsGiveABlackFrame) {
    InstancePtr obj = make(16, 8);
    std::vector<uint8_t> frame = pattern(16 * 8 * 4, 5);
    obj->dropOutput = true;
    EXPECT_EQ(obj->processFrame(frame.data()), 0);
    EXPECT_EQ(frame, std::vector<uint8_t>(frame.size(), 0));
    obj->dropOutput = false;
    frame = pattern(16 * 8 * 4, 5);  // the slot is obtained again
    const std::vector<uint8_t> expected = inverted(frame);
    EXPECT_EQ(obj->processFrame(frame.data()), 0);
    EXPECT_EQ(frame, expected);
}

TEST(ProcessFrame, RefusesAnInstanceThatIsNotReady) {
    InstancePtr obj = make(16, 8);
    obj->setParameter(0, 2.0f);
    obj->fMultiReady = false;
    std::vector<uint8_t> frame = pattern(16 * 8 * 4, 5);
    const std::vector<uint8_t> before = frame;
    vyrtest::StderrCapture notices;
    EXPECT_EQ(obj->processFrame(frame.data()), -1);
    EXPECT_EQ(notices.text(), std::string("processFrame Error: ") + kNotReady + "\n");
    EXPECT_EQ(frame, before);
    EXPECT_EQ(obj->getParameter(0), 2.0f);  // refused before clamping
    EXPECT_EQ(obj->renderCalls, 0);
    obj->fMultiReady = true;
}

TEST(ProcessFrameCopy, RendersFromTheFirstInputOnly) {
    InstancePtr obj = make(16, 8);
    std::vector<uint8_t> a = pattern(16 * 8 * 4, 1), b = pattern(16 * 8 * 4, 99);
    std::vector<uint8_t> out(a.size(), 0x55);
    void* inputs[2] = {a.data(), b.data()};
    ProcessFrameCopyStruct pfc = {2, inputs, out.data()};
    ASSERT_EQ(obj->processFrameCopy(&pfc), 0);
    EXPECT_EQ(out, inverted(a));
    EXPECT_EQ(obj->fMulti->numInputs, 1u);
}

TEST(ProcessFrameCopy, ZeroInputsAnswerFailureSilently) {
    InstancePtr obj = make(16, 8);
    obj->setParameter(2, 5.0f);
    std::vector<uint8_t> out(16 * 8 * 4, 0x55);
    std::vector<uint8_t> a = pattern(out.size(), 1);
    void* inputs[1] = {a.data()};
    ProcessFrameCopyStruct pfc = {0, inputs, out.data()};
    vyrtest::StderrCapture notices;
    EXPECT_EQ(obj->processFrameCopy(&pfc), -1);
    EXPECT_EQ(notices.text(), "");
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x55));
    EXPECT_EQ(obj->getParameter(2), 5.0f);
}

TEST(ProcessFrameCopy, GeneratorFailureClearsTheOutput) {
    InstancePtr obj = make(16, 8);
    std::vector<uint8_t> a = pattern(16 * 8 * 4, 1);
    std::vector<uint8_t> out(a.size(), 0x55);
    void* inputs[1] = {a.data()};
    ProcessFrameCopyStruct pfc = {1, inputs, out.data()};
    obj->failNext = 1;
    EXPECT_EQ(obj->processFrameCopy(&pfc), -1);
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0));
}

TEST(ProcessFrameCopy, NullPiecesAreRefusedWithoutWriting) {
    InstancePtr obj = make(16, 8);
    std::vector<uint8_t> a = pattern(16 * 8 * 4, 1);
    std::vector<uint8_t> out(a.size(), 0x55);
    void* inputs[1] = {a.data()};
    void* nullInputs[1] = {nullptr};
    EXPECT_EQ(obj->processFrameCopy(nullptr), -1);
    ProcessFrameCopyStruct noArray = {1, nullptr, out.data()};
    EXPECT_EQ(obj->processFrameCopy(&noArray), -1);
    ProcessFrameCopyStruct nullFirst = {1, nullInputs, out.data()};
    EXPECT_EQ(obj->processFrameCopy(&nullFirst), -1);
    ProcessFrameCopyStruct noOutput = {1, inputs, nullptr};
    EXPECT_EQ(obj->processFrameCopy(&noOutput), -1);
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x55));
    EXPECT_EQ(obj->renderCalls, 0);
}

TEST(ProcessFrameCopy, RefusesAnInstanceThatIsNotReady) {
    InstancePtr obj = make(16, 8);
    obj->fMultiReady = false;
    std::vector<uint8_t> a = pattern(16 * 8 * 4, 1), out(a.size(), 0x55);
    void* inputs[1] = {a.data()};
    ProcessFrameCopyStruct pfc = {1, inputs, out.data()};
    vyrtest::StderrCapture notices;
    EXPECT_EQ(obj->processFrameCopy(&pfc), -1);
    EXPECT_EQ(notices.text(), std::string("processFrameCopy Error: ") + kNotReady + "\n");
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x55));
    obj->fMultiReady = true;
}

TEST(ProcessFrameMulti, CommonChecksShowTheirNotices) {
    InstancePtr obj = make(16, 8);
    {
        obj->fMultiReady = false;
        obj->setParameter(0, 3.0f);
        vyrtest::StderrCapture notices;
        EXPECT_EQ(obj->processFrameMulti(obj->fMulti), -1);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: fMultiReady == false\n");
        EXPECT_EQ(obj->getParameter(0), 1.0f);  // clamping comes first on this path
        obj->fMultiReady = true;
    }
    {
        FrameMultiStruct* saved = obj->fMulti;
        obj->fMulti = nullptr;
        vyrtest::StderrCapture notices;
        EXPECT_EQ(obj->processFrameMulti(saved), -1);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: fMulti == NULL\n");
        obj->fMulti = saved;
    }
    {
        vyrtest::StderrCapture notices;
        EXPECT_EQ(obj->processFrameMulti(nullptr), -1);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: pFrameData == NULL\n");
    }
    {
        vyrtest::StderrCapture notices;  // a fresh instance has empty slots
        EXPECT_EQ(obj->processFrameMulti(obj->fMulti), -1);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
    }
    EXPECT_EQ(obj->renderCalls, 0);
}

using vyrtest::CallerRecord;

TEST(ProcessFrameMulti, RendersACallersRecordWithoutAdoptingIt) {
    InstancePtr obj = make(16, 8);
    CallerRecord caller(pattern(size_t(16) * 8 * 4, 9), 16, 8, 4);
    ASSERT_EQ(obj->processFrameMulti(&caller.record), 0);
    EXPECT_EQ(caller.outPixels, inverted(caller.inPixels));
    EXPECT_EQ(obj->lastRecord, &caller.record);
    // The instance's own record still has its own (empty) slots, so the
    // next ordinary frame never frees or writes the caller's buffers.
    EXPECT_NE(obj->fMulti->inputs[0], &caller.in);
    std::vector<uint8_t> frame = pattern(16 * 8 * 4, 40);
    const std::vector<uint8_t> expected = inverted(frame);
    ASSERT_EQ(obj->processFrame(frame.data()), 0);
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(caller.in.pixels, caller.inPixels.data());
    EXPECT_EQ(caller.out.pixels, caller.outPixels.data());
}

TEST(ProcessFrameMulti, ACallersRecordMayDrawThreeBytePixelsOnAFourByteInstance) {
    InstancePtr obj = make(16, 8);
    CallerRecord caller(pattern(size_t(16) * 8 * 3, 9), 16, 8, 3);
    ASSERT_EQ(obj->processFrameMulti(&caller.record), 0);
    EXPECT_EQ(caller.outPixels, inverted(caller.inPixels));
}

TEST(ProcessFrameMulti, RefusesRecordsThatDoNotFitTheInstance) {
    InstancePtr obj = make(16, 8);
    auto expectRefused = [&](CallerRecord& c) {
        vyrtest::StderrCapture notices;
        EXPECT_EQ(obj->processFrameMulti(&c.record), -1);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
        EXPECT_EQ(c.outPixels, std::vector<uint8_t>(c.outPixels.size(), 0));
    };
    {
        CallerRecord c(pattern(size_t(16) * 8 * 4, 9), 16, 8, 4);
        c.out.bytesPerPixel = 3;
        expectRefused(c);
    }
    {
        CallerRecord c(pattern(size_t(16) * 8 * 2, 9), 16, 8, 2);
        expectRefused(c);
    }
    {
        CallerRecord c(pattern(size_t(8) * 8 * 4, 9), 8, 8, 4);
        expectRefused(c);
    }  // smaller than the instance
    {
        CallerRecord c(pattern(size_t(16) * 4 * 4, 9), 16, 4, 4);
        expectRefused(c);
    }
    {
        CallerRecord c(pattern(size_t(16) * 8 * 4, 9), 16, 8, 4);
        c.record.numOutputs = 0;
        expectRefused(c);
    }
    {
        CallerRecord c(pattern(size_t(16) * 8 * 4, 9), 16, 8, 4);
        c.record.numInputs = 0;
        expectRefused(c);
    }
    {
        CallerRecord c(pattern(size_t(16) * 8 * 4, 9), 16, 8, 4);
        c.in.pixels = nullptr;
        expectRefused(c);
    }
    {
        CallerRecord c(pattern(size_t(16) * 8 * 4, 9), 16, 8, 4);
        c.record.outputs[0] = nullptr;
        expectRefused(c);
    }
    EXPECT_EQ(obj->renderCalls, 0);
}

TEST(Lifecycle, DeInstantiateReleasesEverything) {
    // Run under AddressSanitizer this also proves nothing leaks; here it
    // proves the slots of a used instance are freed without a crash.
    for (int i = 0; i < 50; ++i) {
        InstancePtr obj = make(32, 16, i % 2 ? ff::kDepth24 : ff::kDepth32);
        std::vector<uint8_t> frame = pattern(size_t(32) * 16 * 4, uint8_t(i));
        ASSERT_EQ(obj->processFrame(frame.data()), 0);
        // Buffers left in unused slots: frames render straight into the
        // host's buffers, so only such slots can hold any.
        obj->fMulti->inputs[3]->pixels = std::malloc(8);
        obj->fMulti->outputs[5]->pixels = std::malloc(8);
        obj->fMulti->outputs[5]->pixels2 = std::malloc(8);
    }
}

// The plug-ins' worker team: every band exactly once whatever the thread
// count, and no way to hang a host (loops inside loops, two host threads
// at once, a forked child).
namespace {

// Runs `bands` bands on `threads` threads and answers how often each ran.
std::vector<int> bandRuns(int bands, int threads) {
    std::vector<std::atomic<int>> runs(size_t(std::max(bands, 0)));
    auto body = [&](int b) { runs[size_t(b)].fetch_add(1); };
    runOnTeam(bands, threads, body);
    std::vector<int> out;
    for (auto& r : runs) out.push_back(r.load());
    return out;
}

}  // namespace

TEST(ThreadTeam, RunsEveryBandOnceForAnyCountOfThreadsAndBands) {
    for (int threads : {1, 2, 3, 8})
        for (int bands : {0, 1, 2, 3, 17, 1000})
            EXPECT_EQ(bandRuns(bands, threads), std::vector<int>(size_t(bands), 1))
                << threads << " threads, " << bands << " bands";
}

TEST(ThreadTeam, HelpersTakeBandsAlongsideTheCaller) {
    // Each band waits (at most two seconds) until a second thread has
    // taken a band, so a team that left the caller alone fails here.
    std::mutex m;
    std::set<std::thread::id> seen;
    auto body = [&](int) {
        {
            std::lock_guard<std::mutex> g(m);
            seen.insert(std::this_thread::get_id());
        }
        for (int i = 0; i < 2000; ++i) {
            {
                std::lock_guard<std::mutex> g(m);
                if (seen.size() >= 2) return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    resetTeamPace();
    runOnTeam(8, 2, body);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(ThreadTeam, ALoopInsideABandAndLoopsFromTwoHostThreadsComplete) {
    std::atomic<int> inner{0};
    auto outer = [&](int) {
        EXPECT_EQ(teamThreadLimit(), 1);  // the team is busy with this loop
        auto one = [&](int) { inner.fetch_add(1); };
        runOnTeam(5, 2, one);
    };
    runOnTeam(4, 2, outer);
    EXPECT_EQ(inner.load(), 20);

    std::vector<int> a, b;
    std::thread other([&] {
        for (int i = 0; i < 200; ++i) a = bandRuns(37, 2);
    });
    for (int i = 0; i < 200; ++i) b = bandRuns(23, 2);
    other.join();
    EXPECT_EQ(a, std::vector<int>(37, 1));
    EXPECT_EQ(b, std::vector<int>(23, 1));
}

// Many tiny loops from four host threads at once, with team sizes that
// change from loop to loop (as OMP_NUM_THREADS may between a host's calls):
// every band of every loop runs exactly once, and a lost wake-up shows as a
// hang that CTest's time limit turns into a failure.
TEST(ThreadTeam, TinyLoopsFromFourHostThreadsNeverStall) {
    constexpr int kLoops = 4000;
    std::atomic<int> wrong{0};
    auto host = [&](int seed) {
        for (int i = 0; i < kLoops; ++i) {
            const int bands = 1 + (i * 7 + seed) % 9;
            const int threads = 1 + (i + seed) % 4;
            std::atomic<int> runs[9] = {};
            auto body = [&](int b) {
                runs[b].fetch_add(1, std::memory_order_relaxed);
                if ((b + i) % 5 == 0) std::this_thread::yield();  // a band the system puts aside
            };
            runOnTeam(bands, threads, body);
            for (int b = 0; b < bands; ++b)
                if (runs[b].load() != 1) wrong.fetch_add(1);
        }
    };
    std::vector<std::thread> hosts;
    for (int t = 1; t < 4; ++t) hosts.emplace_back(host, t);
    host(0);
    for (std::thread& t : hosts) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(ThreadTeam, AForkedChildRunsLoopsWithoutTheParentsHelpers) {
    ASSERT_EQ(bandRuns(64, 2), std::vector<int>(64, 1));  // the helpers exist now
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(20);  // a hang shows as a killed child
        _exit(bandRuns(64, 2) == std::vector<int>(64, 1) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// VYR_ISA picks the kernels' path as each instance is created: a named path
// is taken when the CPU has it (else the best below it), anything else
// gives the best path there is.
TEST(InstructionSetPath, FollowsVyrIsaWithinWhatTheCpuOffers) {
    const Isa best = bestIsa();
    const auto chosenWith = [](const char* value) {
        if (value == nullptr)
            unsetenv("VYR_ISA");
        else
            setenv("VYR_ISA", value, 1);
        chooseIsa();
        return activeIsa();
    };
    const auto atMost = [&](Isa isa) { return static_cast<int>(isa) < static_cast<int>(best) ? isa : best; };
    EXPECT_EQ(chosenWith("portable"), Isa::Portable);
    EXPECT_EQ(chosenWith("avx2"), atMost(Isa::Avx2));
    EXPECT_EQ(chosenWith("avx512"), atMost(Isa::Avx512));
    EXPECT_EQ(chosenWith("AVX2 please"), best);
    EXPECT_EQ(chosenWith(nullptr), best);
    setenv("VYR_ISA", "portable", 1);
    InstancePtr obj = make(16, 8);  // instances choose as they are created
    EXPECT_EQ(activeIsa(), Isa::Portable);
    unsetenv("VYR_ISA");
    chooseIsa();
}
