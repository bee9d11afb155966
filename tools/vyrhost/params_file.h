// Parameter files: a JSON document that `render` renders, `play` starts
// from and a recorded take is written as. It holds parameter values and
// keyframes over time, the seed (and later re-seeds), the size, the frame
// rate and the length:
//
//   { "plugin": "VyrGlobSwirl1", "size": "1280x720", "fps": 30, "frames": 300, "seed": 7,
//     "parameters": {
//       "Dot Scale": 0.5,
//       "Angle Z": [ { "time": 0, "value": 0 }, { "time": 10, "value": 1 } ],
//       "Mode": [ { "frame": 0, "value": 0.1, "interpolation": "hold" }, { "frame": 90, "value": 0.6 } ] },
//     "seeds": [ { "frame": 120, "seed": 9 } ] }
//
// A key's "interpolation" says how the value goes on to the next key:
// "linear" (the default) or "hold". Before the first key a parameter has the
// first key's value, after the last the last one's.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace vyrhost {

struct Keyframe {
    double at = 0.0;  // a frame number, or seconds when `seconds`
    bool seconds = false;
    float value = 0.0f;
    bool hold = false;  // the value stays until the next key
};

// One parameter's keys, sorted by time; the key is a name or an index.
struct ParamTrack {
    std::string key;
    std::vector<Keyframe> keys;
};

struct SeedChange {
    long frame = 0;
    unsigned seed = 0;
};

struct ParamsFile {
    std::string plugin;  // informative; empty when not given
    std::string size;    // "WxH"; empty when not given
    std::string fps;     // a rate as --fps takes it; empty when not given
    long frames = 0;     // 0 when not given
    bool seeded = false;
    unsigned seed = 0;
    std::vector<SeedChange> reseeds;  // sorted by frame, each after frame 0
    std::vector<ParamTrack> params;   // in the file's order
};

// Reads and checks a file; throws HostError naming the file and what is
// wrong in it.
ParamsFile loadParamsFile(const std::string& path);
ParamsFile parseParamsText(const std::string& text, const std::string& what);

// The document as text, with keys in the order above; values are written so
// that reading them back gives the same floats.
std::string paramsText(const ParamsFile& file);
// Writes the document to `path` (through a temporary file beside it).
void saveParamsFile(const std::string& path, const ParamsFile& file);
// Writes `text` to a temporary file beside `path` and renames it, so that
// the file is whole or untouched; throws HostError.
void writeWholeFile(const std::string& path, const std::string& text);

// The track's value at `frame` when the clip runs at `rate`.
float trackValue(const ParamTrack& track, double frame, Rate rate);

}  // namespace vyrhost
