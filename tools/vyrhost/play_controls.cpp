#include "play_controls.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host_error.h"

namespace vyrhost {

namespace {

float clamp01(float v) {
    if (!(v >= 0.0f)) return 0.0f;  // NaN included
    return v > 1.0f ? 1.0f : v;
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::vector<MidiMapping> loadMidiMap(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError("cannot read MIDI map " + path + ": " + std::strerror(errno));
    std::stringstream ss;
    ss << in.rdbuf();
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(ss.str());
    } catch (const nlohmann::json::exception&) {
        throw HostError(path + ": not valid JSON");
    }
    const auto bad = [&](const std::string& what) -> HostError { return HostError(path + ": " + what); };
    if (!doc.is_object() || !doc.contains("mappings") || !doc["mappings"].is_array())
        throw bad("expected { \"mappings\": [ { \"channel\": 1, \"cc\": 21, \"parameter\": \"NAME\" } ] }");
    std::vector<MidiMapping> out;
    for (const auto& m : doc["mappings"]) {
        if (!m.is_object() || !m.contains("channel") || !m.contains("cc") || !m.contains("parameter") ||
            !m["channel"].is_number_integer() || !m["cc"].is_number_integer() || !m["parameter"].is_string())
            throw bad("each mapping needs a whole \"channel\" and \"cc\" and a \"parameter\" name");
        MidiMapping mm;
        mm.control.channel = m["channel"].get<int>();
        mm.control.controller = m["cc"].get<int>();
        mm.parameter = m["parameter"].get<std::string>();
        if (mm.control.channel < 1 || mm.control.channel > 16) throw bad("MIDI channels run from 1 to 16");
        if (mm.control.controller < 0 || mm.control.controller > 127) throw bad("controllers run from 0 to 127");
        out.push_back(mm);
    }
    return out;
}

void saveMidiMap(const std::string& path, const std::vector<MidiMapping>& mappings) {
    std::string text = "{\n  \"mappings\": [";
    for (size_t i = 0; i < mappings.size(); ++i) {
        nlohmann::ordered_json m;
        m["channel"] = mappings[i].control.channel;
        m["cc"] = mappings[i].control.controller;
        m["parameter"] = mappings[i].parameter;
        text += (i == 0 ? "\n    " : ",\n    ") + m.dump();
    }
    text += mappings.empty() ? "]\n}\n" : "\n  ]\n}\n";
    writeWholeFile(path, text);
}

Controls::Controls(std::vector<std::string> names, std::vector<float> defaults)
    : names_(std::move(names)), defaults_(std::move(defaults)), values_(defaults_) {}

int Controls::find(const std::string& key) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == key) return int(i);
    int found = -1;
    for (size_t i = 0; i < names_.size(); ++i)
        if (lower(names_[i]) == lower(key)) {
            if (found >= 0) return -1;  // ambiguous without case
            found = int(i);
        }
    if (found >= 0) return found;
    if (!key.empty() && key.size() < 6 && std::all_of(key.begin(), key.end(), ::isdigit)) {
        const int i = std::stoi(key);
        if (i < count()) return i;
    }
    return -1;
}

void Controls::setLocked(int index, float value) {
    if (index < 0 || index >= count()) return;
    value = clamp01(value);
    values_[size_t(index)] = value;
    LiveCommand c{LiveCommand::SetParameter};
    c.index = index;
    c.value = value;
    queue_.push_back(c);
}

void Controls::set(int index, float value) {
    std::lock_guard<std::mutex> lock(mutex_);
    setLocked(index, value);
}

void Controls::nudge(float delta) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count() > 0) setLocked(selected_, values_[size_t(selected_)] + delta);
}

void Controls::jump(float value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count() > 0) setLocked(selected_, value);
}

void Controls::select(int delta) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count() == 0) return;
    selected_ = ((selected_ + delta) % count() + count()) % count();
}

void Controls::selectIndex(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= 0 && index < count()) selected_ = index;
}

int Controls::selected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return selected_;
}

void Controls::resetToDefaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < count(); ++i) setLocked(i, defaults_[size_t(i)]);
}

void Controls::request(const LiveCommand& command) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (command.kind == LiveCommand::SetParameter)
        setLocked(command.index, command.value);
    else
        queue_.push_back(command);
}

void Controls::bindMouse(int xIndex, int yIndex) {
    std::lock_guard<std::mutex> lock(mutex_);
    mouseX_ = xIndex < count() ? xIndex : -1;
    mouseY_ = yIndex < count() ? yIndex : -1;
}

void Controls::bindMouseX(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    mouseX_ = index < count() ? index : -1;
}

void Controls::bindMouseY(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    mouseY_ = index < count() ? index : -1;
}

void Controls::mouse(float x, float y) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mouseX_ >= 0 && clamp01(x) != values_[size_t(mouseX_)]) setLocked(mouseX_, x);
    if (mouseY_ >= 0 && clamp01(y) != values_[size_t(mouseY_)]) setLocked(mouseY_, y);
}

int Controls::mouseX() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mouseX_;
}

int Controls::mouseY() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mouseY_;
}

void Controls::setMidiMappings(const std::vector<MidiMapping>& mappings) {
    std::lock_guard<std::mutex> lock(mutex_);
    midi_ = mappings;
}

std::vector<MidiMapping> Controls::midiMappings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return midi_;
}

void Controls::learn(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    learning_ = on && count() > 0;
}

bool Controls::learning() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return learning_;
}

bool Controls::midi(int channel, int controller, int value) {
    std::lock_guard<std::mutex> lock(mutex_);
    const MidiControl control{channel, controller};
    // 0..127 onto 0..1, so that both ends are reachable.
    const float v = float(std::max(0, std::min(127, value))) / 127.0f;
    if (learning_) {
        // One controller drives one parameter, and a parameter follows the
        // controller learned last.
        const std::string& name = names_[size_t(selected_)];
        midi_.erase(std::remove_if(midi_.begin(), midi_.end(),
                                   [&](const MidiMapping& m) { return m.control == control || m.parameter == name; }),
                    midi_.end());
        midi_.push_back({control, name});
        learning_ = false;
        setLocked(selected_, v);
        return true;
    }
    for (const auto& m : midi_)
        if (m.control == control) {
            for (int i = 0; i < count(); ++i)
                if (names_[size_t(i)] == m.parameter) setLocked(i, v);
        }
    return false;
}

std::vector<float> Controls::values() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
}

std::vector<LiveCommand> Controls::drain() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LiveCommand> out;
    out.swap(queue_);
    return out;
}

void Controls::show(int index, float value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= 0 && index < count()) values_[size_t(index)] = value;
}

void TakeLog::start(const std::vector<std::string>& names, const std::vector<float>& values, unsigned seed) {
    tracks_.clear();
    reseeds_.clear();
    seed_ = seed;
    for (size_t i = 0; i < names.size(); ++i) tracks_.push_back({names[i], {{0.0, false, values[i], true}}});
}

void TakeLog::set(long frame, int index, float value) {
    if (index < 0 || size_t(index) >= tracks_.size()) return;
    auto& keys = tracks_[size_t(index)].keys;
    // Several changes before one frame: the last one is what the frame saw.
    if (keys.back().at == double(frame))
        keys.back().value = value;
    else if (keys.back().value != value)
        keys.push_back({double(frame), false, value, true});
}

void TakeLog::reseed(long frame, unsigned seed) {
    if (!reseeds_.empty() && reseeds_.back().frame == frame)
        reseeds_.back().seed = seed;
    else
        reseeds_.push_back({frame, seed});
}

ParamsFile TakeLog::file(const std::string& plugin, const std::string& size, const std::string& fps,
                         long frames) const {
    ParamsFile f;
    f.plugin = plugin;
    f.size = size;
    f.fps = fps;
    f.frames = frames;
    f.seeded = true;
    f.seed = seed_;
    for (const auto& r : reseeds_)
        if (r.frame > 0 && r.frame < frames) f.reseeds.push_back(r);
    for (const auto& t : tracks_) {
        ParamTrack track{t.key, {}};
        for (const auto& k : t.keys)
            if (k.at < double(frames)) track.keys.push_back(k);
        // A parameter that never moved is written as a plain value.
        if (track.keys.size() == 1) track.keys[0].hold = false;
        f.params.push_back(track);
    }
    return f;
}

}  // namespace vyrhost
