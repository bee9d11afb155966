// The live window's controls without a window: what keys, the mouse, OSC
// messages and MIDI controllers do to the parameters, MIDI learn and its
// mapping files, and the take log that a recorded take is rendered from.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "host_error.h"
#include "play_controls.h"
#include "play_osc.h"

using namespace vyrhost;

namespace {

Controls threeParams() { return Controls({"Level", "Dot Scale", "Mode"}, {0.5f, 0.25f, 0.0f}); }

// The parameter changes queued for the render thread, as (index, value).
std::vector<std::pair<int, float>> changes(Controls& c) {
    std::vector<std::pair<int, float>> out;
    for (const auto& cmd : c.drain())
        if (cmd.kind == LiveCommand::SetParameter) out.push_back({cmd.index, cmd.value});
    return out;
}

using Changes = std::vector<std::pair<int, float>>;

}  // namespace

TEST(VyrhostPlayControls, KeysSelectNudgeJumpAndReset) {
    Controls c = threeParams();
    c.nudge(0.1f);
    c.select(1);
    c.jump(0.7f);
    c.select(-2);  // wraps to the last
    EXPECT_EQ(c.selected(), 2);
    c.nudge(-0.5f);  // clamped at 0
    c.select(1);     // wraps to the first
    c.nudge(0.9f);   // clamped at 1
    EXPECT_EQ(changes(c), (Changes{{0, 0.6f}, {1, 0.7f}, {2, 0.0f}, {0, 1.0f}}));
    EXPECT_EQ(c.values(), (std::vector<float>{1.0f, 0.7f, 0.0f}));
    c.resetToDefaults();
    EXPECT_EQ(changes(c), (Changes{{0, 0.5f}, {1, 0.25f}, {2, 0.0f}}));
    c.set(1, std::nanf(""));
    EXPECT_EQ(c.values()[1], 0.0f);
    c.set(7, 0.5f);  // no such parameter: nothing queued
    EXPECT_EQ(changes(c).size(), 1u);
    EXPECT_EQ(c.find("dot scale"), 1);
    EXPECT_EQ(c.find("2"), 2);
    EXPECT_EQ(c.find("3"), -1);
}

TEST(VyrhostPlayControls, TheMouseMovesOnlyItsBoundParameters) {
    Controls c = threeParams();
    c.mouse(0.3f, 0.9f);
    EXPECT_TRUE(changes(c).empty());
    c.bindMouse(2, 0);
    c.mouse(0.3f, 0.9f);
    c.mouse(0.3f, 0.9f);  // no move, no change
    c.mouse(1.4f, -1.0f);
    EXPECT_EQ(changes(c), (Changes{{2, 0.3f}, {0, 0.9f}, {2, 1.0f}, {0, 0.0f}}));
    c.bindMouseX(-1);
    c.mouse(0.5f, 0.5f);
    EXPECT_EQ(changes(c), (Changes{{0, 0.5f}}));
}

TEST(VyrhostPlayControls, MidiLearnMapsOneControllerToTheSelectedParameter) {
    Controls c = threeParams();
    EXPECT_FALSE(c.midi(1, 21, 127));  // nothing mapped yet
    EXPECT_TRUE(changes(c).empty());
    c.select(1);
    c.learn(true);
    EXPECT_TRUE(c.midi(1, 21, 0));  // learned, and the knob's value taken
    EXPECT_FALSE(c.learning());
    EXPECT_FALSE(c.midi(1, 21, 127));
    EXPECT_FALSE(c.midi(2, 21, 64));  // another channel is another controller
    EXPECT_EQ(changes(c), (Changes{{1, 0.0f}, {1, 1.0f}}));
    // Learning the same parameter again moves it to the new controller, and
    // a controller learned for another parameter leaves the first one.
    c.learn(true);
    c.midi(1, 22, 0);
    c.select(1);
    c.learn(true);
    c.midi(1, 22, 127);
    ASSERT_EQ(c.midiMappings().size(), 1u);
    EXPECT_EQ(c.midiMappings()[0].parameter, "Mode");
    EXPECT_EQ(c.midiMappings()[0].control.controller, 22);
}

TEST(VyrhostPlayControls, MidiMapsAreSavedAndLoadedByParameterName) {
    const std::string path = "/tmp/vyrhost-midi-" + std::to_string(getpid()) + ".json";
    saveMidiMap(path, {{{1, 21}, "Dot Scale"}, {{16, 0}, "Mode"}});
    Controls c = threeParams();
    c.setMidiMappings(loadMidiMap(path));
    c.midi(16, 0, 127);
    c.midi(1, 21, 0);
    EXPECT_EQ(changes(c), (Changes{{2, 1.0f}, {1, 0.0f}}));
    for (const std::string bad : {"{}", "[]", "{\"mappings\": [{\"channel\": 0, \"cc\": 1, \"parameter\": \"x\"}]}",
                                  "{\"mappings\": [{\"channel\": 1, \"cc\": 128, \"parameter\": \"x\"}]}",
                                  "{\"mappings\": [{\"channel\": 1, \"cc\": 1}]}", "not json"}) {
        std::ofstream(path) << bad;
        EXPECT_THROW(loadMidiMap(path), HostError) << bad;
    }
    std::remove(path.c_str());
    EXPECT_THROW(loadMidiMap(path), HostError);
}

TEST(VyrhostPlayControls, OscAddressesNameParametersAndCommands) {
    Controls c = threeParams();
    EXPECT_TRUE(oscCommand(c, "/vyr/Dot_Scale", true, 0.75));
    EXPECT_TRUE(oscCommand(c, "/vyr/dot-scale", true, 0.5));
    EXPECT_TRUE(oscCommand(c, "/vyr/2", true, 1.0));
    EXPECT_FALSE(oscCommand(c, "/vyr/Level", false, 0.0));  // a value is needed
    EXPECT_FALSE(oscCommand(c, "/vyr/Nothing", true, 0.5));
    EXPECT_FALSE(oscCommand(c, "/other/Level", true, 0.5));
    EXPECT_TRUE(oscCommand(c, "/vyr/seed", true, 42));
    EXPECT_TRUE(oscCommand(c, "/vyr/seed", false, 0));
    EXPECT_TRUE(oscCommand(c, "/vyr/snapshot", false, 0));
    const auto queued = c.drain();
    ASSERT_EQ(queued.size(), 6u);
    EXPECT_EQ(queued[0].index, 1);
    EXPECT_EQ(queued[1].value, 0.5f);
    EXPECT_EQ(queued[2].index, 2);
    EXPECT_EQ(queued[3].kind, LiveCommand::Reseed);
    EXPECT_TRUE(queued[3].seeded);
    EXPECT_EQ(queued[3].seed, 42u);
    EXPECT_FALSE(queued[4].seeded);
    EXPECT_EQ(queued[5].kind, LiveCommand::Snapshot);
}

TEST(VyrhostPlayTakeLog, KeepsWhatEachFrameSawAsHoldKeys) {
    TakeLog log;
    log.start({"Level", "Dot Scale", "Mode"}, {0.5f, 0.25f, 0.0f}, 7);
    log.set(0, 0, 0.6f);  // before frame 0: replaces the starting value
    log.set(3, 0, 0.8f);
    log.set(3, 0, 0.9f);   // the last change before frame 3 counts
    log.set(5, 1, 0.25f);  // no change, no key
    log.set(9, 0, 0.1f);   // after the take's end
    log.reseed(4, 11);
    log.reseed(12, 13);
    const ParamsFile f = log.file("HostProbe", "64x48", "60", 8);
    EXPECT_EQ(f.seed, 7u);
    EXPECT_EQ(f.frames, 8);
    ASSERT_EQ(f.reseeds.size(), 1u);
    EXPECT_EQ(f.reseeds[0].frame, 4);
    ASSERT_EQ(f.params.size(), 3u);
    const auto& level = f.params[0].keys;
    ASSERT_EQ(level.size(), 2u);
    EXPECT_EQ(level[0].value, 0.6f);
    EXPECT_EQ(level[1].at, 3.0);
    EXPECT_EQ(level[1].value, 0.9f);
    EXPECT_TRUE(level[1].hold);
    const Rate r{60, 1};
    EXPECT_EQ(trackValue(f.params[0], 2.0, r), 0.6f);
    EXPECT_EQ(trackValue(f.params[0], 7.0, r), 0.9f);
    EXPECT_EQ(f.params[1].keys.size(), 1u);  // never moved: a plain value
    EXPECT_FALSE(f.params[1].keys[0].hold);
}
