#include "presentation.h"

#include <stdexcept>

namespace editors {

namespace {

Control switchOf(const char* param, double off, double on) {
    Control c;
    c.param = param;
    c.kind = ControlKind::Switch;
    c.off = off;
    c.on = on;
    return c;
}

Control scaled(const char* param, double factor, int decimals, const char* suffix) {
    Control c;
    c.param = param;
    c.kind = ControlKind::Scaled;
    c.factor = factor;
    c.decimals = decimals;
    c.suffix = suffix;
    return c;
}

// The frei0r face's "Seed" picks the scene: srand(round(value x 1000000)),
// so the editors show the scene number itself.
Control seed() { return scaled("Seed", 1000000.0, 0, ""); }

// The switches send the parameter's default as "on" where the default is on,
// so that a fresh effect in an editor looks as it does in every other host.
const std::vector<Presentation>& presentations() {
    static const std::vector<Presentation> all = {
        {"VyrSnowSpecks1",
         "Vyr Snow Specks",
         "dots stars particles snow light vyr",
         {switchOf("Draw Switch!", 0.0, 0.5), seed()}},
        {"VyrGlobHeap1",
         "Vyr Glob Heap",
         "blobs particles mass spin grain vyr",
         // Grain of 0..128 grey levels.
         {scaled("NoiseLevel", 128.0, 0, " levels"), seed()}},
        {"VyrGlobSwirl1",
         "Vyr Glob Swirl",
         "blobs particles swarm swirl fire vyr",
         {switchOf("Draw Switch!", 0.0, 0.5),
          // Mode picks one of six looks, one per fifth of the range.
          {"Mode",
           ControlKind::List,
           1.0,
           0,
           "",
           0.0,
           1.0,
           {{0.0, "grey with dark rims"},
            {0.2, "negative grey"},
            {0.4, "dark grey"},
            {0.6, "grey bands"},
            {0.8, "fire"},
            {1.0, "reversed fire"}}},
          switchOf("Alpha Switch", 0.0, 1.0),
          scaled("NoiseLevel", 128.0, 0, " levels"),
          seed()}},
        {"VyrBrushDrift1",
         "Vyr Brush Drift",
         "paint painterly brush dots swirl trails vyr",
         // Grey level 0..255 of the band's centre.
         {scaled("Source Val", 255.0, 0, ""),
          // One and a half turns over the range.
          scaled("Source Rotation", 540.0, 1, "°"),
          // Alpha following the paint from 0.5 up to below 1, opaque at 0.
          switchOf("Alpha Mode", 0.0, 0.75),
          // The input's gain on the canvas, trunc(255 x value): 1 copies it.
          scaled("Blend Input", 255.0, 0, ""), seed()}},
    };
    return all;
}

}  // namespace

const Presentation& presentationOf(const std::string& plugin) {
    for (const Presentation& p : presentations())
        if (p.plugin == plugin) return p;
    throw std::out_of_range("no editor presentation for " + plugin);
}

Control controlOf(const Presentation& p, const std::string& param) {
    for (const Control& c : p.controls)
        if (c.param == param) return c;
    Control amount;
    amount.param = param;
    return amount;
}

}  // namespace editors
