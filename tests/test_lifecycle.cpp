// Creating, using and destroying instances through plugMain.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "plugin_host.h"

using vyrtest::Instance;
using vyrtest::PluginLibrary;
using vyrtest::StderrCapture;

namespace {

class Lifecycle : public ::testing::TestWithParam<std::string> {};

bool refused(const PluginLibrary& lib, const VideoInfoStruct* vi) {
    FFMixed in;
    in.PointerValue = const_cast<VideoInfoStruct*>(vi);
    FFMixed r = lib.callMixed(ff::kInstantiate, in, nullptr);
    if (ffhost::isFailure(r)) return true;
    lib.call(ff::kDeInstantiate, 0, r.PointerValue);
    return false;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST_P(Lifecycle, OnlyTwentyFourAndThirtyTwoBitFormatsAreAccepted) {
    PluginLibrary lib(GetParam());
    VideoInfoStruct vi = {64, 48, 0, 0};
    EXPECT_TRUE(refused(lib, &vi));
    vi.BitDepth = 3;
    EXPECT_TRUE(refused(lib, &vi));
    vi.BitDepth = 1;
    EXPECT_FALSE(refused(lib, &vi));
    vi.BitDepth = 2;
    EXPECT_FALSE(refused(lib, &vi));
}

TEST_P(Lifecycle, UnusableGeometryIsRefused) {
    PluginLibrary lib(GetParam());
    EXPECT_TRUE(refused(lib, nullptr));
    VideoInfoStruct vi = {0, 48, 2, 0};
    EXPECT_TRUE(refused(lib, &vi));
    vi = {64, 0, 2, 0};
    EXPECT_TRUE(refused(lib, &vi));
    vi = {40000, 40000, 2, 0};  // 6.4 GB: beyond a signed 32-bit byte count
    EXPECT_TRUE(refused(lib, &vi));
    vi = {0x80000000u, 1, 1, 0};
    EXPECT_TRUE(refused(lib, &vi));
}

TEST_P(Lifecycle, ParametersStartAtTheirDefaults) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, 64, 48);
    for (uint32_t i = 0; i < lib.numParameters(); ++i)
        EXPECT_EQ(lib.call(ff::kGetParameter, i, inst.id()), lib.call(ff::kGetParameterDefault, i)) << i;
}

TEST_P(Lifecycle, FramesClampStoredParameters) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, 32, 24);
    const uint32_t n = lib.numParameters();
    inst.setParameter(0, 2.0f);
    inst.setParameter(1, -0.25f);
    inst.setParameter(n - 1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(inst.getParameter(0), 2.0f);
    EXPECT_EQ(inst.getParameter(1), -0.25f);
    EXPECT_TRUE(std::isnan(inst.getParameter(n - 1)));
    std::vector<uint8_t> frame(inst.frameBytes(), 0);
    ASSERT_EQ(inst.processFrame(frame), 0u);
    EXPECT_EQ(inst.getParameter(0), 1.0f);
    EXPECT_EQ(inst.getParameter(1), 0.0f);
    EXPECT_EQ(inst.getParameter(n - 1), 0.0f);
    EXPECT_EQ(inst.displayText(0).substr(0, 9), std::string("1.000000\0", 9));
}

TEST_P(Lifecycle, ExtremeParameterValuesNeverBreakAFrame) {
    PluginLibrary lib(GetParam());
    const float extremes[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              1e30f,
                              -1e30f,
                              1.0f,
                              0.0f};
    for (float v : extremes) {
        Instance inst(lib, 33, 17);
        for (uint32_t i = 0; i < lib.numParameters(); ++i) inst.setParameter(i, v);
        std::vector<uint8_t> frame(inst.frameBytes(), 77);
        for (int f = 0; f < 3; ++f) ASSERT_EQ(inst.processFrame(frame), 0u) << v;
    }
}

TEST_P(Lifecycle, InstancesKeepTheirOwnParameters) {
    PluginLibrary lib(GetParam());
    Instance a(lib, 32, 24), b(lib, 40, 30, ff::kDepth24);
    a.setParameter(0, 0.9f);
    b.setParameter(0, 0.1f);
    EXPECT_EQ(a.getParameter(0), 0.9f);
    EXPECT_EQ(b.getParameter(0), 0.1f);
    EXPECT_NE(a.id(), b.id());
}

TEST_P(Lifecycle, RepeatedCyclesDoNotGrowTheProcess) {
    if (kSanitized) GTEST_SKIP() << "the sanitizer's allocator keeps freed memory in quarantine";
    PluginLibrary lib(GetParam());
    auto cycle = [&](int count) {
        for (int i = 0; i < count; ++i) {
            Instance inst(lib, 64, 48, i % 2 ? ff::kDepth24 : ff::kDepth32);
            std::vector<uint8_t> frame(inst.frameBytes(), 0);
            ASSERT_EQ(inst.processFrame(frame), 0u);
        }
    };
    cycle(20);  // let the allocator and the thread pool settle
    const size_t before = mallinfo2().uordblks;
    cycle(300);
    const size_t after = mallinfo2().uordblks;
    EXPECT_LT(after, before + 64 * 1024) << "heap in use grew from " << before << " to " << after;
}

TEST_P(Lifecycle, TinyFramesWork) {
    PluginLibrary lib(GetParam());
    for (auto [w, h] : {std::pair{1u, 1u}, std::pair{1u, 7u}, std::pair{7u, 1u}, std::pair{2u, 2u}}) {
        for (uint32_t depth : {ff::kDepth24, ff::kDepth32}) {
            Instance inst(lib, w, h, depth);
            std::vector<uint8_t> frame(inst.frameBytes(), 5);
            for (int f = 0; f < 3; ++f) EXPECT_EQ(inst.processFrame(frame), 0u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Lifecycle, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });
