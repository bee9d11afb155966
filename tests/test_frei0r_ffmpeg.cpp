// The frei0r plug-ins inside a real host: ffmpeg renders the sources
// through frei0r_src and the effect through frei0r, writes raw bgra frames
// to a pipe, and the first frames must equal, byte for byte, what the
// FreeFrame face renders for the same parameters after srand(1): at the
// default seed a frei0r instance draws that sequence, and at 60 frames per
// second (ffmpeg passes 0, 17, 33, 50 ms) it shows one step per frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "frei0r_host.h"
#include "plugin_host.h"

#ifndef VYR_FFMPEG
#error "VYR_FFMPEG must name the ffmpeg program"
#endif

using vyrtest::Instance;
using vyrtest::PluginLibrary;
using vyrtest::samePicture;
using vyrtest::someValues;

namespace {

// Widths are multiples of 16: ffmpeg pads the rows of other widths, which
// a frei0r plug-in cannot know about.
constexpr unsigned kWidth = 160;
constexpr unsigned kHeight = 96;
constexpr unsigned kFrames = 4;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * 4;

#ifdef VYR_FFMPEG_PRELOAD
const char kPreload[] = "LD_PRELOAD='" VYR_FFMPEG_PRELOAD "' ";
#else
const char kPreload[] = "";
#endif

std::string ffmpegCommand(const std::string& arguments) {
    return std::string(kPreload) + "FREI0R_PATH='" + vyrtest::frei0rDir() +
           "' '" VYR_FFMPEG "' -nostdin -hide_banner " + "-loglevel error " + arguments + " -frames:v " +
           std::to_string(kFrames) + " -f rawvideo -pix_fmt bgra -";
}

std::vector<std::vector<uint8_t>> runFfmpeg(const std::string& arguments) {
    int status = -1;
    const std::vector<uint8_t> raw = vyrtest::commandOutput(ffmpegCommand(arguments), &status);
    EXPECT_EQ(status, 0) << ffmpegCommand(arguments);
    EXPECT_EQ(raw.size(), kFrames * kFrameBytes) << "frame count or size";
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; at + kFrameBytes <= raw.size(); at += kFrameBytes)
        frames.emplace_back(raw.begin() + long(at), raw.begin() + long(at + kFrameBytes));
    return frames;
}

// Every parameter must be listed: ffmpeg's list is positional. Nine
// significant digits carry a float through the double ffmpeg parses.
std::string paramList(const std::vector<float>& values) {
    std::string list;
    for (size_t i = 0; i < values.size(); ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", double(values[i]));
        if (i > 0) list += '|';
        list += text;
    }
    return list;
}

// A raw bgra clip written for ffmpeg to read, removed with the object.
class RawClip {
   public:
    explicit RawClip(const std::vector<std::vector<uint8_t>>& frames) {
        char path[] = "/tmp/vyr-clip-XXXXXX";
        const int fd = mkstemp(path);
        if (fd < 0) throw std::runtime_error("mkstemp");
        path_ = path;
        for (const auto& f : frames)
            if (write(fd, f.data(), f.size()) != ssize_t(f.size())) throw std::runtime_error("write");
        close(fd);
    }
    ~RawClip() { unlink(path_.c_str()); }
    const std::string& path() const { return path_; }

   private:
    std::string path_;
};

class Frei0rSource : public ::testing::TestWithParam<std::string> {};

// The parameter defaults as a fresh process sees them, taken before any
// test renders: a mode preset publishes new defaults into its library's
// table for the rest of the process, while every ffmpeg run starts afresh.
std::map<std::string, std::vector<float>>& freshDefaults() {
    static std::map<std::string, std::vector<float>> defaults;
    return defaults;
}

class FreshDefaults : public ::testing::Environment {
   public:
    void SetUp() override {
        for (const std::string& name : vyrtest::allPluginNames()) {
            PluginLibrary lib(name);
            for (uint32_t i = 0; i < lib.numParameters(); ++i) freshDefaults()[name].push_back(lib.parameterDefault(i));
        }
    }
};

const ::testing::Environment* const kFreshDefaults = ::testing::AddGlobalTestEnvironment(new FreshDefaults);

std::vector<std::vector<uint8_t>> freeFrameSourceFrames(const std::string& name, const std::vector<float>& values) {
    PluginLibrary lib(name);
    std::srand(1);
    Instance inst(lib, kWidth, kHeight);
    for (size_t i = 0; i < values.size(); ++i) inst.setParameter(uint32_t(i), values[i]);
    std::vector<std::vector<uint8_t>> frames;
    for (unsigned k = 0; k < kFrames; ++k) frames.push_back(inst.renderFrame());
    return frames;
}

std::vector<std::vector<uint8_t>> freeFrameEffectFrames(const std::vector<std::vector<uint8_t>>& inputs,
                                                        const std::vector<float>& values) {
    PluginLibrary lib("VyrBrushDrift1");
    std::srand(1);
    Instance inst(lib, kWidth, kHeight);
    for (size_t i = 0; i < values.size(); ++i) inst.setParameter(uint32_t(i), values[i]);
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& in : inputs) {
        std::vector<uint8_t> out(kFrameBytes, 0);
        EXPECT_EQ(inst.processFrameCopy({in.data()}, out), 0u);
        frames.push_back(out);
    }
    return frames;
}

std::string sourceInput(const std::string& name, const std::string& params) {
    return "-f lavfi -i 'frei0r_src=size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
           ":framerate=60:filter_name=" + name + ":filter_params=" + params + "'";
}

}  // namespace

TEST_P(Frei0rSource, RendersTheFreeFrameFramesWithParameters) {
    PluginLibrary lib(GetParam());
    const std::vector<float> values = someValues(lib.numParameters());
    const auto viaFfmpeg = runFfmpeg(sourceInput(GetParam(), paramList(values)));
    const auto viaFreeFrame = freeFrameSourceFrames(GetParam(), values);
    ASSERT_EQ(viaFfmpeg.size(), size_t(kFrames));
    for (unsigned k = 0; k < kFrames; ++k) EXPECT_TRUE(samePicture(viaFfmpeg[k], viaFreeFrame[k])) << "frame " << k;
}

TEST_P(Frei0rSource, RendersTheFreeFrameFramesWithDefaults) {
    const auto viaFfmpeg = runFfmpeg(sourceInput(GetParam(), ""));
    const auto viaFreeFrame = freeFrameSourceFrames(GetParam(), freshDefaults()[GetParam()]);
    ASSERT_EQ(viaFfmpeg.size(), size_t(kFrames));
    for (unsigned k = 0; k < kFrames; ++k) EXPECT_TRUE(samePicture(viaFfmpeg[k], viaFreeFrame[k])) << "frame " << k;
}

INSTANTIATE_TEST_SUITE_P(Sources, Frei0rSource, ::testing::Values("VyrSnowSpecks1", "VyrGlobHeap1", "VyrGlobSwirl1"),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

TEST(Frei0rEffect, PaintsARawClipAsTheFreeFrameFaceDoes) {
    PluginLibrary lib("VyrBrushDrift1");
    const std::vector<float> values = someValues(lib.numParameters());
    std::vector<std::vector<uint8_t>> inputs;
    for (unsigned k = 0; k < kFrames; ++k) inputs.push_back(vyrtest::texturedPicture(kWidth, kHeight, 4, k));
    RawClip clip(inputs);
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    const auto viaFfmpeg = runFfmpeg("-f rawvideo -pix_fmt bgra -video_size " + size + " -framerate 60 -i '" +
                                     clip.path() + "' -vf 'frei0r=VyrBrushDrift1:" + paramList(values) + "'");
    const auto viaFreeFrame = freeFrameEffectFrames(inputs, values);
    ASSERT_EQ(viaFfmpeg.size(), size_t(kFrames));
    for (unsigned k = 0; k < kFrames; ++k) EXPECT_TRUE(samePicture(viaFfmpeg[k], viaFreeFrame[k])) << "frame " << k;
}

TEST(Frei0rEffect, PaintsAGeneratedTestPictureAsTheFreeFrameFaceDoes) {
    // ffmpeg's own test picture, taken unfiltered first as the FreeFrame input.
    const std::string input = "-f lavfi -i 'testsrc2=size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                              ":rate=60,format=bgra'";
    const auto inputs = runFfmpeg(input);
    ASSERT_EQ(inputs.size(), size_t(kFrames));
    const auto viaFfmpeg = runFfmpeg(input + " -vf frei0r=VyrBrushDrift1");
    const auto viaFreeFrame = freeFrameEffectFrames(inputs, freshDefaults()["VyrBrushDrift1"]);
    ASSERT_EQ(viaFfmpeg.size(), size_t(kFrames));
    for (unsigned k = 0; k < kFrames; ++k) EXPECT_TRUE(samePicture(viaFfmpeg[k], viaFreeFrame[k])) << "frame " << k;
}
