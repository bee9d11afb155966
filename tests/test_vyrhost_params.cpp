// Parameter files as render and play read and write them: what a document
// means, what a user is told about a wrong one, and that a written file
// reads back as the same floats.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host_error.h"
#include "params_file.h"

using namespace vyrhost;

namespace {

const Rate k10fps{10, 1};

ParamTrack onlyTrack(const std::string& json) {
    const ParamsFile f = parseParamsText(json, "t.json");
    EXPECT_EQ(f.params.size(), 1u);
    return f.params.empty() ? ParamTrack() : f.params[0];
}

}  // namespace

TEST(VyrhostParamsFile, ReadsEveryEntry) {
    const ParamsFile f = parseParamsText(R"({
        "plugin": "VyrGlobSwirl1", "size": "320x200", "fps": "30000/1001", "frames": 90, "seed": 7,
        "seeds": [ { "frame": 60, "seed": 2 }, { "frame": 30, "seed": 1 } ],
        "parameters": { "Dot Scale": 0.25, "3": [ { "frame": 0, "value": 1 } ] } })",
                                         "t.json");
    EXPECT_EQ(f.plugin, "VyrGlobSwirl1");
    EXPECT_EQ(f.size, "320x200");
    EXPECT_EQ(f.fps, "30000/1001");
    EXPECT_EQ(f.frames, 90);
    EXPECT_TRUE(f.seeded);
    EXPECT_EQ(f.seed, 7u);
    ASSERT_EQ(f.reseeds.size(), 2u);  // put in frame order
    EXPECT_EQ(f.reseeds[0].frame, 30);
    EXPECT_EQ(f.reseeds[1].seed, 2u);
    ASSERT_EQ(f.params.size(), 2u);  // in the file's order
    EXPECT_EQ(f.params[0].key, "Dot Scale");
    EXPECT_EQ(f.params[1].key, "3");
    EXPECT_EQ(trackValue(f.params[0], 50.0, k10fps), 0.25f);

    const ParamsFile empty = parseParamsText("{}", "t.json");
    EXPECT_FALSE(empty.seeded);
    EXPECT_TRUE(empty.size.empty());
    EXPECT_EQ(parseParamsText(R"({"fps": 24})", "t.json").fps, "24");
}

TEST(VyrhostParamsFile, InterpolatesLinearlyAndHolds) {
    // Seconds and frames mixed: 0.5 s is frame 5 at 10 frames per second.
    const ParamTrack t = onlyTrack(R"({"parameters": {"Level": [
        {"frame": 2, "value": 0.2},
        {"time": 0.5, "value": 0.8, "interpolation": "hold"},
        {"frame": 9, "value": 0.1},
        {"frame": 9, "value": 0.6} ]}})");
    const std::vector<std::pair<double, float>> expected = {{0, 0.2f}, {2, 0.2f},   {3, 0.4f}, {4, 0.6f},
                                                            {5, 0.8f}, {8.9, 0.8f}, {9, 0.6f}, {100, 0.6f}};
    for (const auto& e : expected) EXPECT_FLOAT_EQ(trackValue(t, e.first, k10fps), e.second) << "frame " << e.first;
    // At 20 frames per second the same key in seconds falls on frame 10,
    // after the frame-9 keys.
    EXPECT_FLOAT_EQ(
        trackValue(onlyTrack(R"({"parameters": {"L": [{"frame": 0, "value": 0}, {"time": 1, "value": 1}]}})"), 10.0,
                   Rate{20, 1}),
        0.5f);
}

TEST(VyrhostParamsFile, ReportsWhatIsWrongAndWhere) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{", "not valid JSON"},
        {"[1]", "one JSON object"},
        {R"({"sede": 1})", "unknown entry \"sede\""},
        {R"({"size": "640"})", "bad size"},
        {R"({"size": 640})", "\"size\" must be a text"},
        {R"({"fps": 0})", "bad frame rate"},
        {R"({"frames": 0})", "\"frames\" must be a whole number from 1"},
        {R"({"frames": 2.5})", "\"frames\" must be a whole number"},
        {R"({"seed": -1})", "\"seed\" must be a whole number from 0"},
        {R"({"seeds": [{"frame": 0, "seed": 1}]})", "seeds[0] frame must be a whole number from 1"},
        {R"({"seeds": [{"frame": 3}]})", "needs \"frame\" and \"seed\""},
        {R"({"parameters": [1]})", "\"parameters\" must be an object"},
        {R"({"parameters": {"L": 1.5}})", "parameter \"L\" is 1.5, not a value from 0 to 1"},
        {R"({"parameters": {"L": "x"}})", "parameter \"L\" must be a number"},
        {R"({"parameters": {"L": []}})", "parameter \"L\" has no keys"},
        {R"({"parameters": {"L": [{"value": 1}]}})", "key 0 needs either \"time\" (seconds) or \"frame\""},
        {R"({"parameters": {"L": [{"time": 1, "frame": 2, "value": 1}]}})", "needs either"},
        {R"({"parameters": {"L": [{"frame": -1, "value": 1}]}})", "must not be negative"},
        {R"({"parameters": {"L": [{"frame": 1}]}})", "key 0 needs a \"value\""},
        {R"({"parameters": {"L": [{"frame": 1, "value": 0, "interpolation": "cubic"}]}})",
         "must be \"linear\" or \"hold\""},
        {R"({"parameters": {"L": [{"frame": 1, "value": 0, "ease": 1}]}})", "unknown entry \"ease\""},
    };
    for (const auto& c : cases) {
        try {
            parseParamsText(c.first, "take.json");
            ADD_FAILURE() << "accepted " << c.first;
        } catch (const HostError& e) {
            const std::string msg = e.what();
            EXPECT_EQ(msg.rfind("take.json: ", 0), 0u) << msg;
            EXPECT_NE(msg.find(c.second), std::string::npos) << c.first << " gave: " << msg;
        }
    }
    EXPECT_THROW(loadParamsFile("/nonexistent/take.json"), HostError);
}

TEST(VyrhostParamsFile, WrittenFilesReadBackAsTheSameValues) {
    ParamsFile f;
    f.plugin = "HostProbe";
    f.size = "64x48";
    f.fps = "60";
    f.frames = 120;
    f.seeded = true;
    f.seed = 4000000000u;
    f.reseeds = {{40, 9}};
    // Floats that need all nine digits to come back.
    const float awkward[] = {0.1f, 1.0f / 3.0f, 0.7777777f, 1e-8f, 0.99999994f};
    ParamTrack steps{"Level", {}};
    for (int i = 0; i < 5; ++i) steps.keys.push_back({double(i * 7), false, awkward[i], true});
    ParamTrack constant{"Fail Frame", {{0.0, false, 0.3f, false}}};
    ParamTrack timed{"2", {{0.25, true, 0.5f, false}, {1.5, true, 0.75f, false}}};
    f.params = {steps, constant, timed};

    const ParamsFile back = parseParamsText(paramsText(f), "back.json");
    EXPECT_EQ(back.plugin, f.plugin);
    EXPECT_EQ(back.size, f.size);
    EXPECT_EQ(back.fps, f.fps);
    EXPECT_EQ(back.frames, f.frames);
    EXPECT_EQ(back.seed, f.seed);
    ASSERT_EQ(back.reseeds.size(), 1u);
    EXPECT_EQ(back.reseeds[0].frame, 40);
    ASSERT_EQ(back.params.size(), 3u);
    for (size_t t = 0; t < 3; ++t) {
        ASSERT_EQ(back.params[t].key, f.params[t].key);
        ASSERT_EQ(back.params[t].keys.size(), f.params[t].keys.size());
        for (size_t k = 0; k < f.params[t].keys.size(); ++k) {
            const Keyframe &a = f.params[t].keys[k], &b = back.params[t].keys[k];
            EXPECT_EQ(a.value, b.value) << "track " << t << " key " << k;
            EXPECT_EQ(a.at, b.at);
            EXPECT_EQ(a.seconds, b.seconds);
            EXPECT_EQ(a.hold, b.hold);
        }
    }
    // A fractional rate stays a fraction.
    f.fps = "30000/1001";
    EXPECT_EQ(parseParamsText(paramsText(f), "back.json").fps, "30000/1001");
}
