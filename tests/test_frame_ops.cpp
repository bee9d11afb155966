// The three ways a frame reaches a plug-in, driven through plugMain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin_host.h"

using vyrtest::everyByteIs;
using vyrtest::Instance;
using vyrtest::PluginLibrary;
using vyrtest::samePicture;
using vyrtest::StderrCapture;
using vyrtest::texturedPicture;

namespace {

class FrameOps : public ::testing::TestWithParam<std::string> {};

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
    EXPECT_TRUE(everyByteIs(out, 0x5A));
    EXPECT_EQ(inst.getParameter(0), 3.0f);
}

TEST_P(FrameOps, CopyUsesOnlyTheFirstInput) {
    PluginLibrary lib(GetParam());
    std::srand(7);
    Instance one(lib, kW, kH);
    std::srand(7);
    Instance two(lib, kW, kH);
    for (unsigned f = 0; f < 3; ++f) {
        const std::vector<uint8_t> a = texturedPicture(one, f), b = texturedPicture(one, 100 + f);
        std::vector<uint8_t> outOne(a.size(), 0), outTwo(a.size(), 0);
        std::srand(11 + f);
        ASSERT_EQ(one.processFrameCopy({a.data()}, outOne), 0u);
        std::srand(11 + f);
        ASSERT_EQ(two.processFrameCopy({a.data(), b.data()}, outTwo), 0u);
        EXPECT_TRUE(samePicture(outOne, outTwo)) << "frame " << f;
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
            const std::vector<uint8_t> input = texturedPicture(inPlace, f);
            std::vector<uint8_t> frame = input, copyInput = input, out(input.size(), 0xEE), shared = input;
            std::srand(20 + f);
            ASSERT_EQ(inPlace.processFrame(frame), 0u);
            std::srand(20 + f);
            ASSERT_EQ(copy.processFrameCopy({copyInput.data()}, out), 0u);
            std::srand(20 + f);
            ASSERT_EQ(aliased.processFrameCopy({shared.data()}, shared), 0u);
            EXPECT_TRUE(samePicture(frame, out, inPlace.bytesPerPixel())) << "depth code " << depth << ", frame " << f;
            EXPECT_TRUE(samePicture(copyInput, input, inPlace.bytesPerPixel()))
                << "depth code " << depth << ", frame " << f;
            EXPECT_TRUE(samePicture(shared, frame, inPlace.bytesPerPixel()))
                << "depth code " << depth << ", frame " << f;
        }
    }
}

TEST_P(FrameOps, NullFramePiecesAreRefusedWithoutWriting) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, kW, kH);
    std::vector<uint8_t> in = texturedPicture(inst, 1), out(inst.frameBytes(), 0x5A);
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
    EXPECT_TRUE(everyByteIs(out, 0x5A));
}

using vyrtest::CallerRecord;

TEST_P(FrameOps, CallersRecordRendersLikeACopyAndOrdinaryFramesFollow) {
    PluginLibrary lib(GetParam());
    std::srand(5);
    Instance multi(lib, kW, kH);
    std::srand(5);
    Instance copy(lib, kW, kH);
    const std::vector<uint8_t> input = texturedPicture(multi, 9);
    CallerRecord caller(input, kW, kH, 4);
    std::vector<uint8_t> expected(input.size(), 0);
    std::srand(8);
    ASSERT_EQ(multi.processFrameMulti(&caller.record), 0u);
    std::srand(8);
    ASSERT_EQ(copy.processFrameCopy({input.data()}, expected), 0u);
    EXPECT_TRUE(samePicture(caller.outPixels, expected));
    // A source clears the input picture of a caller's record; the effect only reads it.
    const bool source = lib.info()->PluginType == ff::kTypeSource;
    EXPECT_TRUE(source ? everyByteIs(caller.inPixels, 0) : samePicture(caller.inPixels, input));
    // Later ordinary frames use the instance's own slots and leave the
    // caller's record and buffers alone.
    for (unsigned f = 0; f < 2; ++f) {
        std::vector<uint8_t> a = texturedPicture(multi, f), b = a;
        std::srand(30 + f);
        ASSERT_EQ(multi.processFrame(a), 0u);
        std::srand(30 + f);
        ASSERT_EQ(copy.processFrame(b), 0u);
        EXPECT_TRUE(samePicture(a, b));
    }
    EXPECT_EQ(caller.in.pixels, caller.inPixels.data());
    EXPECT_EQ(caller.out.pixels, caller.outPixels.data());
    EXPECT_EQ(caller.record.numInputs, 1u);
}

TEST_P(FrameOps, CallersRecordWithoutInputsIsRefusedAfterClamping) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, kW, kH);
    inst.setParameter(1, 2.0f);
    CallerRecord caller(texturedPicture(inst, 2), kW, kH, 4);
    caller.record.numInputs = 0;
    StderrCapture notices;
    EXPECT_EQ(inst.processFrameMulti(&caller.record), ff::kFail);
    EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
    EXPECT_EQ(inst.getParameter(1), 1.0f);
    EXPECT_TRUE(everyByteIs(caller.outPixels, 0));
}

TEST_P(FrameOps, CallersRecordOfAnotherShapeIsRefused) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, kW, kH);
    auto refused = [&](CallerRecord& c) {
        StderrCapture notices;
        EXPECT_EQ(inst.processFrameMulti(&c.record), ff::kFail);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
    };
    const std::vector<uint8_t> big = texturedPicture(inst, 3);
    {
        CallerRecord c(big, kW, kH, 4);
        c.out.bytesPerPixel = 3;
        refused(c);
    }
    {
        CallerRecord c(big, kW, kH, 2);
        refused(c);
    }
    {
        CallerRecord c(big, kW / 2, kH, 4);
        refused(c);
    }
    {
        CallerRecord c(big, kW, kH + 1, 4);
        refused(c);
    }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, FrameOps, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(FrameOpsDepth, TheEffectRefusesARecordOfAnotherPixelSizeThanItsInstance) {
    PluginLibrary lib("VyrBrushDrift1");
    Instance inst(lib, kW, kH, ff::kDepth32);
    CallerRecord caller(std::vector<uint8_t>(size_t(kW) * kH * 3, 0), kW, kH, 3);
    StderrCapture notices;
    EXPECT_EQ(inst.processFrameMulti(&caller.record), ff::kFail);
    EXPECT_EQ(notices.text(), "Vyr_Multi: Error: No valid input data present\n");
}

// ---------------------------------------------------------------------------
// What every source promises, whatever it draws: the input owes nothing to
// the picture, a caller's record has its input cleared and is drawn at its
// own pixel size, and 24- and 32-bit instances draw the same colours. Each
// pair of instances is created and fed frames under the same random
// sequence, so both hold the same scene.

struct SourceCase {
    const char* name;
    bool grey;  // draws grey pictures only
};

class SourceContract : public ::testing::TestWithParam<SourceCase> {
   protected:
    PluginLibrary lib{GetParam().name};
};

TEST_P(SourceContract, TheInputHasNoInfluence) {
    std::srand(9);
    Instance fromBlack(lib, kW, kH);
    std::srand(9);
    Instance inPlace(lib, kW, kH);
    std::srand(9);
    Instance copied(lib, kW, kH);
    for (unsigned f = 0; f < 3; ++f) {
        std::srand(40 + f);
        const std::vector<uint8_t> expected = fromBlack.renderFrame();
        std::vector<uint8_t> frame = texturedPicture(inPlace, f);
        std::srand(40 + f);
        ASSERT_EQ(inPlace.processFrame(frame), 0u);
        EXPECT_TRUE(samePicture(frame, expected)) << "in place, frame " << f;
        const std::vector<uint8_t> input = texturedPicture(copied, 10 + f);
        std::vector<uint8_t> out = texturedPicture(copied, 20 + f);
        std::srand(40 + f);
        ASSERT_EQ(copied.processFrameCopy({input.data()}, out), 0u);
        EXPECT_TRUE(samePicture(out, expected)) << "copy, frame " << f;
    }
}

TEST_P(SourceContract, CallersRecordIsClearedAndDrawnAtItsOwnPixelSize) {
    // 32-bit instances handed records of 3-byte pixels draw what a 24-bit
    // instance draws, into a separate output or over the input itself.
    std::srand(4);
    Instance reference(lib, kW, kH, ff::kDepth24);
    std::srand(4);
    Instance separate(lib, kW, kH, ff::kDepth32);
    std::srand(4);
    Instance shared(lib, kW, kH, ff::kDepth32);
    for (unsigned f = 0; f < 3; ++f) {
        std::srand(50 + f);
        const std::vector<uint8_t> expected = reference.renderFrame();
        CallerRecord two(texturedPicture(kW, kH, 3, f), kW, kH, 3);
        std::fill(two.outPixels.begin(), two.outPixels.end(), 0xCD);
        std::srand(50 + f);
        ASSERT_EQ(separate.processFrameMulti(&two.record), 0u);
        EXPECT_TRUE(samePicture(two.outPixels, expected, 3)) << "frame " << f;
        EXPECT_TRUE(everyByteIs(two.inPixels, 0)) << "frame " << f;

        CallerRecord one(texturedPicture(kW, kH, 3, f), kW, kH, 3);
        one.record.outputs[0] = &one.in;
        std::srand(50 + f);
        ASSERT_EQ(shared.processFrameMulti(&one.record), 0u);
        EXPECT_TRUE(samePicture(one.inPixels, expected, 3)) << "frame " << f;
    }
}

// The colour bytes of a 32-bit picture equal a 24-bit one's, its fourth
// byte is opaque, and a grey source's pixels are grey.
::testing::AssertionResult sameColours(const std::vector<uint8_t>& deep, const std::vector<uint8_t>& shallow,
                                       bool grey) {
    if (deep.size() / 4 != shallow.size() / 3)
        return ::testing::AssertionFailure() << "sizes " << deep.size() << " and " << shallow.size();
    for (size_t p = 0; p < shallow.size() / 3; ++p) {
        const uint8_t* d = &deep[4 * p];
        const uint8_t* s = &shallow[3 * p];
        if (d[0] != s[0] || d[1] != s[1] || d[2] != s[2] || d[3] != 255 || (grey && (s[0] != s[1] || s[0] != s[2])))
            return ::testing::AssertionFailure()
                   << "pixel " << p << ": " << int(d[0]) << " " << int(d[1]) << " " << int(d[2]) << " " << int(d[3])
                   << " at 32 bits, " << int(s[0]) << " " << int(s[1]) << " " << int(s[2]) << " at 24 bits";
    }
    return ::testing::AssertionSuccess();
}

TEST_P(SourceContract, TwentyFourAndThirtyTwoBitPicturesCarryTheSameColours) {
    const uint32_t w = 61, h = 37;  // rows of a size no word boundary divides
    std::srand(5);
    Instance deep(lib, w, h, ff::kDepth32);
    std::srand(5);
    Instance shallow(lib, w, h, ff::kDepth24);
    for (Instance* inst : {&deep, &shallow}) inst->setParameter("Angle Y", 0.6f);
    for (unsigned f = 0; f < 4; ++f) {
        std::srand(60 + f);
        const std::vector<uint8_t> a = deep.renderFrame();
        std::srand(60 + f);
        const std::vector<uint8_t> b = shallow.renderFrame();
        EXPECT_TRUE(sameColours(a, b, GetParam().grey)) << "frame " << f;
    }
}

INSTANTIATE_TEST_SUITE_P(ThreeSources, SourceContract,
                         ::testing::Values(SourceCase{"VyrSnowSpecks1", true}, SourceCase{"VyrGlobHeap1", true},
                                           SourceCase{"VyrGlobSwirl1", false}),
                         [](const ::testing::TestParamInfo<SourceCase>& info) { return info.param.name; });
