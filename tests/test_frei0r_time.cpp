// Time in the frei0r face: the picture for a host time is the scene after a
// fixed number of steps from the seeded start, however the host got there
// (in order, by seeking either way, at any frame rate).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frei0r_host.h"
#include "plugin_host.h"

using vyrtest::Frei0rInstance;
using vyrtest::Frei0rLibrary;
using vyrtest::PluginLibrary;

namespace {

constexpr unsigned kW = 40, kH = 30;
constexpr double kStepsPerSecond = 60.0;

double stepTime(unsigned step) { return step / kStepsPerSecond; }

// Values that keep every scene busy. VyrBrushDrift1 gets no feedback: its
// trail depends on the frames drawn before, which seeks do not replay (the
// trail has its own test below).
std::vector<float> busyValues(const std::string& name, uint32_t count, uint32_t variant = 0) {
    std::vector<float> v(count);
    for (uint32_t i = 0; i < count; ++i) v[i] = 0.25f + 0.06f * float((i * 5 + variant * 7) % 11);
    v[0] = 0.9f;                                 // a drawing switch where the first parameter is one
    if (name == "VyrBrushDrift1") v[12] = 0.0f;  // "Feedback"
    if (name == "VyrSnowSpecks1") v[1] = 0.02f;  // "Dot Scale": small dots on a small frame
    return v;
}

class Scene {
   public:
    Scene(const Frei0rLibrary& lib, const std::vector<float>& values) : f_(lib, kW, kH) { set(values); }
    void set(const std::vector<float>& values) {
        for (size_t i = 0; i < values.size(); ++i) f_.set(int(i), values[i]);
    }
    void setOne(int index, double value) { f_.set(index, value); }
    // The effect paints a fixed picture, so that only time changes it.
    std::vector<uint8_t> at(double seconds) { return f_.render(&input(), seconds); }

   private:
    static const std::vector<uint8_t>& input() {
        static const std::vector<uint8_t> picture = vyrtest::texturedPicture(kW, kH, 4, 3);
        return picture;
    }
    Frei0rInstance f_;
};

class Frei0rTime : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(Frei0rTime, SeeksAnyWayGiveTheFramesOfARunInOrder) {
    Frei0rLibrary lib(GetParam());
    const std::vector<float> values = busyValues(GetParam(), PluginLibrary(GetParam()).numParameters());
    std::vector<std::vector<uint8_t>> inOrder;
    Scene run(lib, values);
    for (unsigned k = 0; k <= 200; ++k) {
        inOrder.push_back(run.at(stepTime(k)));
        EXPECT_TRUE(run.at(stepTime(k)) == inOrder.back()) << "step " << k << " asked for again";
    }
    EXPECT_TRUE(inOrder[50] != inOrder[51]) << "the scene moves";

    const std::vector<std::vector<unsigned>> visits = {
        {50, 120, 200}, {200, 120, 50}, {120, 50, 0, 200, 199, 3}, {7, 8, 9, 150, 151, 10}};
    for (const auto& steps : visits) {
        Scene seeking(lib, values);
        for (unsigned k : steps) EXPECT_TRUE(seeking.at(stepTime(k)) == inOrder[k]) << "step " << k;
    }
}

TEST_P(Frei0rTime, CheckpointsOfALongRunGiveWhatAReplayGives) {
    Frei0rLibrary lib(GetParam());
    const std::vector<float> values = busyValues(GetParam(), PluginLibrary(GetParam()).numParameters(), 1);
    Scene scrubbed(lib, values);
    scrubbed.at(stepTime(2000));  // checkpoints on the way
    for (unsigned k : {300u, 1900u, 513u, 1024u, 1500u, 2500u, 256u}) {
        Scene fresh(lib, values);
        EXPECT_TRUE(scrubbed.at(stepTime(k)) == fresh.at(stepTime(k))) << "step " << k;
    }
}

TEST_P(Frei0rTime, EveryFrameRateShowsTheSamePictureAtTheSameTime) {
    Frei0rLibrary lib(GetParam());
    const std::vector<float> values = busyValues(GetParam(), PluginLibrary(GetParam()).numParameters());
    std::vector<std::vector<uint8_t>> atSeconds[4];
    const unsigned rates[] = {25, 30, 50, 60};
    for (int r = 0; r < 4; ++r) {
        Scene run(lib, values);
        for (unsigned frame = 0; frame <= 2 * rates[r]; ++frame) {
            // Times as a host computes them: frame / rate.
            const std::vector<uint8_t> picture = run.at(double(frame) / rates[r]);
            if (frame % rates[r] == 0) atSeconds[r].push_back(picture);
        }
    }
    for (int r = 1; r < 4; ++r)
        for (size_t s = 0; s < 3; ++s)
            EXPECT_TRUE(atSeconds[r][s] == atSeconds[0][s]) << rates[r] << " fps, second " << s;
    // One second is 60 steps.
    Scene direct(lib, values);
    EXPECT_TRUE(direct.at(stepTime(60)) == atSeconds[0][1]);
    // Times are taken to the step at or before them, with a little slack
    // for hosts that round (ffmpeg's milliseconds, GStreamer's nanoseconds).
    EXPECT_TRUE(direct.at(0.033) == direct.at(stepTime(2)));
    EXPECT_TRUE(direct.at(1.0 / 60.0 - 1e-9) == direct.at(stepTime(1)));
    EXPECT_TRUE(direct.at(0.0249) == direct.at(stepTime(1)));
    EXPECT_TRUE(direct.at(-3.0) == direct.at(0.0));
}

TEST_P(Frei0rTime, ParametersActFromTheirFrameAndASeekReplaysWithTheCurrentValues) {
    Frei0rLibrary lib(GetParam());
    const uint32_t n = PluginLibrary(GetParam()).numParameters();
    const std::vector<float> first = busyValues(GetParam(), n, 2);
    const std::vector<float> then = busyValues(GetParam(), n, 3);
    Scene changing(lib, first);
    Scene unchanged(lib, first);
    for (unsigned k = 0; k <= 40; ++k) EXPECT_TRUE(changing.at(stepTime(k)) == unchanged.at(stepTime(k))) << k;
    changing.set(then);
    for (unsigned k = 41; k <= 80; ++k) changing.at(stepTime(k));
    Scene replayed(lib, then);
    EXPECT_TRUE(changing.at(stepTime(60)) == replayed.at(stepTime(60))) << "after a seek back";
    EXPECT_TRUE(changing.at(stepTime(90)) == replayed.at(stepTime(90)));
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Frei0rTime, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

// VyrBrushDrift1 blends each picture with the one drawn before. A frame that
// follows the last one drawn (at most a twentieth of a second later) goes on
// from it; after a seek the trail starts from the picture itself; at time 0
// it starts from black, as in a new instance.
TEST(Frei0rTrail, ASeekRestartsTheTrailWhateverWasDrawnBefore) {
    Frei0rLibrary lib("VyrBrushDrift1");
    std::vector<float> values = busyValues("VyrBrushDrift1", PluginLibrary("VyrBrushDrift1").numParameters());
    values[12] = 0.8f;  // "Feedback"
    Scene played(lib, values), jumped(lib, values), sequential(lib, values), fresh(lib, values);
    for (unsigned k = 0; k <= 30; ++k) played.at(stepTime(k));
    const std::vector<uint8_t> afterSeek = played.at(stepTime(100));
    EXPECT_TRUE(afterSeek == jumped.at(stepTime(100)));
    EXPECT_TRUE(played.at(stepTime(100)) == afterSeek) << "the same time again";
    for (unsigned k = 0; k <= 100; k += 2) sequential.at(stepTime(k));
    EXPECT_TRUE(sequential.at(stepTime(100)) != afterSeek) << "in order the trail goes on";
    EXPECT_TRUE(played.at(0.0) == fresh.at(0.0)) << "back at the start";
}
