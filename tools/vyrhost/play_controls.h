// The live window's controls, apart from any device: the parameter
// values the performer sees, the selected parameter, the mouse bindings,
// MIDI learn and mapping, and the queue of commands the render thread
// carries out at the start of its next frame. The keyboard, mouse, OSC and
// MIDI threads all go through one Controls object, which locks itself.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "params_file.h"

namespace vyrhost {

struct LiveCommand {
    enum Kind {
        SetParameter,
        Reseed,
        Snapshot,
        WindowShot,
        Record,
        Quit
    } kind;
    int index = 0;        // SetParameter
    float value = 0.0f;   // SetParameter
    bool seeded = false;  // Reseed: with `seed`, else a fresh one
    unsigned seed = 0;
};

// A MIDI control-change source: channel 1..16 and controller 0..127.
struct MidiControl {
    int channel = 0, controller = 0;
    bool operator==(const MidiControl& o) const { return channel == o.channel && controller == o.controller; }
};

struct MidiMapping {
    MidiControl control;
    std::string parameter;  // by name, so that a file outlives index changes
};

// Mapping files: { "mappings": [ { "channel": 1, "cc": 21, "parameter": "Dot Scale" } ] }.
std::vector<MidiMapping> loadMidiMap(const std::string& path);
void saveMidiMap(const std::string& path, const std::vector<MidiMapping>& mappings);

class Controls {
   public:
    Controls(std::vector<std::string> names, std::vector<float> defaults);

    int count() const { return int(names_.size()); }
    const std::string& name(int index) const { return names_[size_t(index)]; }
    // The index of a parameter given by name (any case) or number; -1 if none.
    int find(const std::string& key) const;

    // Every control ends up here: the value is clamped to 0..1, shown at
    // once and applied by the render thread at its next frame.
    void set(int index, float value);
    void nudge(float delta);  // the selected parameter
    void jump(float value);   // the selected parameter
    void select(int delta);   // wraps around
    void selectIndex(int index);
    int selected() const;
    void resetToDefaults();
    void request(const LiveCommand& command);

    // Mouse position 0..1 across and 0..1 up the picture; moves the bound
    // parameters. -1 unbinds.
    void bindMouse(int xIndex, int yIndex);
    void bindMouseX(int index);  // keeps the other axis
    void bindMouseY(int index);
    void mouse(float x, float y);
    int mouseX() const;
    int mouseY() const;

    // MIDI: learn arms the selected parameter for the next controller that
    // moves; a learned or loaded controller then drives its parameter.
    void setMidiMappings(const std::vector<MidiMapping>& mappings);
    std::vector<MidiMapping> midiMappings() const;
    void learn(bool on);
    bool learning() const;
    // A control change, value 0..127. Answers true when it learned a mapping.
    bool midi(int channel, int controller, int value);

    // What the overlay shows.
    std::vector<float> values() const;

    // The render thread's side: the commands queued since its last call, in
    // order.
    std::vector<LiveCommand> drain();
    // Values the render thread set by itself (keyframes from a parameter
    // file), shown without queueing.
    void show(int index, float value);

   private:
    void setLocked(int index, float value);

    mutable std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<float> defaults_, values_;
    int selected_ = 0;
    int mouseX_ = -1, mouseY_ = -1;
    bool learning_ = false;
    std::vector<MidiMapping> midi_;
    std::vector<LiveCommand> queue_;
};

// The live session's parameter history since a take started, as a
// parameter file that `render --params` plays back frame for frame.
class TakeLog {
   public:
    // `values` are the instance's values at the take's frame 0.
    void start(const std::vector<std::string>& names, const std::vector<float>& values, unsigned seed);
    // A value the instance got before rendering frame `frame`.
    void set(long frame, int index, float value);
    void reseed(long frame, unsigned seed);
    // The file: size and rate as given, `frames` frames long; every
    // parameter a list of "hold" keys at the frames it changed.
    ParamsFile file(const std::string& plugin, const std::string& size, const std::string& fps, long frames) const;

   private:
    std::vector<ParamTrack> tracks_;
    std::vector<SeedChange> reseeds_;
    unsigned seed_ = 0;
};

}  // namespace vyrhost
