// The three ways a frame reaches a plug-in, driven through plugMain.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "plugin_host.h"

using vyrtest::Instance;
using vyrtest::PluginLibrary;
using vyrtest::StderrCapture;

namespace {

class FrameOps : public ::testing::TestWithParam<std::string> {};

std::vector<uint8_t> picture(size_t bytes, unsigned seed) {
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = uint8_t((i * 31 + seed * 17) ^ (i >> 7));
    return v;
}

constexpr uint32_t kW = 48, kH = 32;

}  // namespace

TEST_P(FrameOps, CopyWithoutInputsIsRefusedSilentlyAndLeavesEverything) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, kW, kH);
    inst.setParameter(0, 3.0f);
    std::vector<uint8_t> out(inst.frameBytes(), 0x5A);
    StderrCapture notices;
    EXPECT_EQ(inst.processFrameCopy({}, out), ff::kFail);
    EXPECT_EQ(notices.text(), "");
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x5A));
    EXPECT_EQ(inst.getParameter(0), 3.0f);
}

TEST_P(FrameOps, CopyUsesOnlyTheFirstInput) {
    PluginLibrary lib(GetParam());
    std::srand(7);
    Instance one(lib, kW, kH);
    std::srand(7);
    Instance two(lib, kW, kH);
    for (unsigned f = 0; f < 3; ++f) {
        const std::vector<uint8_t> a = picture(one.frameBytes(), f), b = picture(one.frameBytes(), 100 + f);
        std::vector<uint8_t> outOne(a.size(), 0), outTwo(a.size(), 0);
        std::srand(11 + f);
        ASSERT_EQ(one.processFrameCopy({a.data()}, outOne), 0u);
        std::srand(11 + f);
        ASSERT_EQ(two.processFrameCopy({a.data(), b.data()}, outTwo), 0u);
        EXPECT_EQ(outOne, outTwo) << "frame " << f;
    }
}

// The plug-ins render straight into the host's frames: an in-place frame
// must still come out as if drawn from a copy of its input, the input of a
// copy is only ever read, and a host that passes one buffer as both input
// and output of processFrameCopy gets the in-place picture.
TEST_P(FrameOps, InPlaceAndCopyGiveTheSamePicturesAndCopiesNeverWriteTheirInput) {
    PluginLibrary lib(GetParam());
    for (uint32_t depth : {ff::kDepth32, ff::kDepth24}) {
        std::srand(3);
        Instance inPlace(lib, kW, kH, depth);
        std::srand(3);
        Instance copy(lib, kW, kH, depth);
        std::srand(3);
        Instance aliased(lib, kW, kH, depth);
        for (unsigned f = 0; f < 4; ++f) {
            const std::vector<uint8_t> input = picture(inPlace.frameBytes(), f);
            std::vector<uint8_t> frame = input, copyInput = input, out(input.size(), 0xEE), shared = input;
            std::srand(20 + f);
            ASSERT_EQ(inPlace.processFrame(frame), 0u);
            std::srand(20 + f);
            ASSERT_EQ(copy.processFrameCopy({copyInput.data()}, out), 0u);
            std::srand(20 + f);
            ASSERT_EQ(aliased.processFrameCopy({shared.data()}, shared), 0u);
            EXPECT_EQ(frame, out) << "depth code " << depth << ", frame " << f;
            EXPECT_EQ(copyInput, input) << "depth code " << depth << ", frame " << f;
            EXPECT_EQ(shared, frame) << "depth code " << depth << ", frame " << f;
        }
    }
}

TEST_P(FrameOps, NullFramePiecesAreRefusedWithoutWriting) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, kW, kH);
    std::vector<uint8_t> in = picture(inst.frameBytes(), 1), out(inst.frameBytes(), 0x5A);
    void* inputs[1] = {in.data()};
    void* nullInputs[1] = {nullptr};
    EXPECT_EQ(lib.callPtr(ff::kProcessFrame, nullptr, inst.id()).UIntValue, ff::kFail);
    EXPECT_EQ(lib.callPtr(ff::kProcessFrameCopy, nullptr, inst.id()).UIntValue, ff::kFail);
    ProcessFrameCopyStruct noArray = {1, nullptr, out.data()};
    EXPECT_EQ(lib.callPtr(ff::kProcessFrameCopy, &noArray, inst.id()).UIntValue, ff::kFail);
    ProcessFrameCopyStruct nullFirst = {1, nullInputs, out.data()};
    EXPECT_EQ(lib.callPtr(ff::kProcessFrameCopy, &nullFirst, inst.id()).UIntValue, ff::kFail);
    ProcessFrameCopyStruct noOutput = {1, inputs, nullptr};
    EXPECT_EQ(lib.callPtr(ff::kProcessFrameCopy, &noOutput, inst.id()).UIntValue, ff::kFail);
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x5A));
}

using vyrtest::CallerRecord;

TEST_P(FrameOps, CallersRecordRendersLikeACopyAndOrdinaryFramesFollow) {
    PluginLibrary lib(GetParam());
    std::srand(5);
    Instance multi(lib, kW, kH);
    std::srand(5);
    Instance copy(lib, kW, kH);
    const std::vector<uint8_t> input = picture(multi.frameBytes(), 9);
    CallerRecord caller(input, kW, kH, 4);
    std::vector<uint8_t> expected(input.size(), 0);
    std::srand(8);
    ASSERT_EQ(multi.processFrameMulti(&caller.record), 0u);
    std::srand(8);
    ASSERT_EQ(copy.processFrameCopy({input.data()}, expected), 0u);
    EXPECT_EQ(caller.outPixels, expected);
    // A source clears the input picture of a caller's record; the effect only reads it.
    const bool source = lib.info()->PluginType == ff::kTypeSource;
    EXPECT_EQ(caller.inPixels, source ? std::vector<uint8_t>(input.size(), 0) : input);
    // Later ordinary frames use the instance's own slots and leave the
    // caller's record and buffers alone.
    for (unsigned f = 0; f < 2; ++f) {
        std::vector<uint8_t> a = picture(multi.frameBytes(), f), b = a;
        std::srand(30 + f);
        ASSERT_EQ(multi.processFrame(a), 0u);
        std::srand(30 + f);
        ASSERT_EQ(copy.processFrame(b), 0u);
        EXPECT_EQ(a, b);
    }
    EXPECT_EQ(caller.in.pixels, caller.inPixels.data());
    EXPECT_EQ(caller.out.pixels, caller.outPixels.data());
    EXPECT_EQ(caller.record.numInputs, 1u);
}

TEST_P(FrameOps, CallersRecordWithoutInputsIsRefusedAfterClamping) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, kW, kH);
    inst.setParameter(1, 2.0f);
    CallerRecord caller(picture(inst.frameBytes(), 2), kW, kH, 4);
    caller.record.numInputs = 0;
    StderrCapture notices;
    EXPECT_EQ(inst.processFrameMulti(&caller.record), ff::kFail);
    EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
    EXPECT_EQ(inst.getParameter(1), 1.0f);
    EXPECT_EQ(caller.outPixels, std::vector<uint8_t>(caller.outPixels.size(), 0));
}

TEST_P(FrameOps, CallersRecordOfAnotherShapeIsRefused) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, kW, kH);
    auto refused = [&](CallerRecord& c) {
        StderrCapture notices;
        EXPECT_EQ(inst.processFrameMulti(&c.record), ff::kFail);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
    };
    const std::vector<uint8_t> big = picture(inst.frameBytes(), 3);
    { CallerRecord c(big, kW, kH, 4); c.out.bytesPerPixel = 3; refused(c); }
    { CallerRecord c(big, kW, kH, 2); refused(c); }
    { CallerRecord c(big, kW / 2, kH, 4); refused(c); }
    { CallerRecord c(big, kW, kH + 1, 4); refused(c); }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, FrameOps, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(FrameOpsDepth, SourcesDrawThreeBytePixelsFromAThreeByteRecordOnAFourByteInstance) {
    for (const char* name : {"VyrSnowSpecks1", "VyrGlobHeap1", "VyrGlobSwirl1"}) {
        PluginLibrary lib(name);
        Instance inst(lib, kW, kH, ff::kDepth32);
        CallerRecord caller(std::vector<uint8_t>(size_t(kW) * kH * 3, 0), kW, kH, 3);
        EXPECT_EQ(inst.processFrameMulti(&caller.record), 0u) << name;
    }
}

TEST(FrameOpsDepth, TheEffectRefusesARecordOfAnotherPixelSizeThanItsInstance) {
    PluginLibrary lib("VyrBrushDrift1");
    Instance inst(lib, kW, kH, ff::kDepth32);
    CallerRecord caller(std::vector<uint8_t>(size_t(kW) * kH * 3, 0), kW, kH, 3);
    StderrCapture notices;
    EXPECT_EQ(inst.processFrameMulti(&caller.record), ff::kFail);
    EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
}
