// Prints one line per fixed scenario: plug-in, scenario, and a hash of every
// frame rendered. The same lines must come out of every build (32- and
// 64-bit) and for every OpenMP thread count.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "plugin_host.h"

namespace {

struct Scenario {
    const char* plugin;
    const char* label;
    uint32_t width, height, bitDepth;
    std::vector<std::pair<const char*, float>> params;
    int frames;
};

// A deterministic picture for effects: gradients with some texture.
std::vector<uint8_t> testPicture(uint32_t w, uint32_t h, uint32_t bpp) {
    std::vector<uint8_t> p(size_t(w) * h * bpp);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* px = &p[(size_t(y) * w + x) * bpp];
            px[0] = uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
            px[1] = uint8_t(y * 255 / (h > 1 ? h - 1 : 1));
            px[2] = uint8_t((x ^ y) * 7);
            if (bpp == 4) px[3] = uint8_t(128 + (x + y) % 128);
        }
    return p;
}

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> list = {
        {"VyrSnowSpecks1", "defaults-32", 160, 120, ff::kDepth32, {}, 4},
        {"VyrSnowSpecks1", "defaults-24", 97, 61, ff::kDepth24, {}, 4},
        {"VyrSnowSpecks1", "rotated-16dots", 160, 120, ff::kDepth32,
         {{"Angle X", 0.31f}, {"Angle Y", 0.82f}, {"Angle Z", 0.64f}, {"Num Particles", 1.0f}}, 6},
        {"VyrSnowSpecks1", "dim-small-24", 160, 120, ff::kDepth24,
         {{"Brightness", 0.0f}, {"Dot Scale", 0.15f}, {"Angle Y", 0.2f}, {"Num Particles", 0.7f}}, 6},
        {"VyrSnowSpecks1", "bright-flat", 160, 120, ff::kDepth32,
         {{"Brightness", 1.0f}, {"Dot Scale", 0.3f}, {"Num Particles", 0.3f}, {"Angle Z", 0.9f}}, 5},
        {"VyrSnowSpecks1", "tall-24", 61, 150, ff::kDepth24,
         {{"Brightness", 0.7f}, {"Dot Scale", 0.4f}, {"Angle X", 0.05f}}, 6},
        {"VyrGlobHeap1", "defaults-32", 160, 120, ff::kDepth32, {}, 4},
        {"VyrGlobHeap1", "defaults-24", 97, 61, ff::kDepth24, {}, 4},
        {"VyrGlobHeap1", "noise", 160, 120, ff::kDepth32, {{"NoiseLevel", 0.7f}, {"Dot Scale", 0.3f}}, 4},
        {"VyrGlobHeap1", "spin", 160, 120, ff::kDepth32, {{"Angle Anim", 1.0f}, {"Dot Scale", 0.2f}, {"Num Particles", 0.3f}}, 6},
        {"VyrGlobHeap1", "rotation", 160, 120, ff::kDepth32,
         {{"Angle X", 0.3f}, {"Angle Y", 0.7f}, {"Angle Z", 0.9f}, {"Angle Anim", 0.2f}, {"Dot Scale", 0.25f}}, 5},
        {"VyrGlobHeap1", "shifts", 160, 120, ff::kDepth32,
         {{"Origin X", 0.6f}, {"Origin Y", 0.35f}, {"Trans X", 0.9f}, {"Trans Y", 0.2f}, {"Trans Z", 0.8f}, {"Dot Scale", 0.3f}}, 4},
        {"VyrGlobHeap1", "heavy-noise", 160, 120, ff::kDepth32,
         {{"Num Particles", 1.0f}, {"Dot Scale", 1.0f}, {"Speed", 1.0f}, {"NoiseLevel", 0.6f}}, 4},
        {"VyrGlobHeap1", "small-many-noise-24", 97, 61, ff::kDepth24,
         {{"Dot Scale", 0.05f}, {"Num Particles", 0.8f}, {"NoiseLevel", 1.0f}, {"Angle Anim", 0.7f}}, 5},
        {"VyrGlobSwirl1", "defaults-32", 160, 120, ff::kDepth32, {}, 4},
        {"VyrGlobSwirl1", "defaults-24", 97, 61, ff::kDepth24, {}, 4},
        {"VyrGlobSwirl1", "preset1", 160, 120, ff::kDepth32, {{"Mode", 0.2f}, {"Speed", 0.5f}, {"Num Particles", 0.5f}}, 4},
        {"VyrGlobSwirl1", "preset2", 160, 120, ff::kDepth32, {{"Mode", 0.4f}, {"Speed", 0.2f}, {"Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "preset3", 160, 120, ff::kDepth32, {{"Mode", 0.6f}, {"Speed", 0.5f}, {"Num Particles", 0.5f}}, 4},
        {"VyrGlobSwirl1", "preset4", 160, 120, ff::kDepth32, {{"Mode", 0.8f}, {"Speed", 0.2f}, {"Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "preset5", 160, 120, ff::kDepth32, {{"Mode", 1.0f}, {"Speed", 0.5f}, {"Num Particles", 0.5f}}, 4},
        {"VyrGlobSwirl1", "alpha", 160, 120, ff::kDepth32, {{"Alpha Switch", 1.0f}, {"Speed", 0.3f}, {"Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "alpha-noise", 160, 120, ff::kDepth32,
         {{"Alpha Switch", 0.8f}, {"NoiseLevel", 0.4f}, {"Mode", 0.8f}, {"Speed", 0.2f}, {"Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "noise", 160, 120, ff::kDepth32, {{"NoiseLevel", 0.8f}, {"Speed", 0.3f}, {"Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "rotation", 160, 120, ff::kDepth32,
         {{"Angle X", 0.6f}, {"Angle Y", 0.3f}, {"Angle Z", 0.85f}, {"Speed", 0.3f}, {"Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "shifts", 160, 120, ff::kDepth32,
         {{"Origin X", 0.6f}, {"Origin Y", 0.42f}, {"Translate X", 0.9f}, {"Translate Y", 0.15f}, {"Translate Z", 0.8f},
          {"Speed", 0.3f}, {"Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "many-noise-24", 97, 61, ff::kDepth24,
         {{"Dot Scale", 0.05f}, {"Num Particles", 1.0f}, {"Mode", 0.8f}, {"NoiseLevel", 0.5f}, {"Angle Y", 0.7f},
          {"Alpha Switch", 1.0f}, {"Speed", 0.6f}}, 4},
        {"VyrBrushDrift1", "defaults-32", 160, 120, ff::kDepth32, {}, 4},
        {"VyrBrushDrift1", "defaults-24", 97, 61, ff::kDepth24, {}, 4},
        {"VyrBrushDrift1", "blend-input", 160, 120, ff::kDepth32,
         {{"Blend Input", 0.6f}, {"Num Particles", 0.3f}, {"Angle X", 0.3f}, {"Angle Z", 0.8f}}, 4},
        {"VyrBrushDrift1", "alpha-0", 160, 120, ff::kDepth32, {{"Alpha Mode", 0.2f}, {"Blend Input", 0.1f}}, 4},
        {"VyrBrushDrift1", "alpha-input", 160, 120, ff::kDepth32, {{"Alpha Mode", 1.0f}, {"Blend Input", 0.3f}}, 4},
        {"VyrBrushDrift1", "swirl", 160, 120, ff::kDepth32,
         {{"Source Zoom", 0.7f}, {"Source Rotation", 0.45f}, {"Source Range", 0.8f}, {"Source Val", 0.2f},
          {"Blend Input", 0.5f}, {"Dot Scale", 0.2f}, {"Num Particles", 0.5f}}, 4},
        {"VyrBrushDrift1", "feedback-0", 160, 120, ff::kDepth32, {{"Feedback", 0.0f}, {"Speed", 1.0f}}, 4},
        {"VyrBrushDrift1", "feedback-1", 160, 120, ff::kDepth32, {{"Feedback", 1.0f}, {"Blend Input", 0.4f}}, 4},
        {"VyrBrushDrift1", "swirl-24", 97, 61, ff::kDepth24,
         {{"Blend Input", 0.8f}, {"Source Zoom", 0.9f}, {"Source Rotation", 0.7f}, {"Feedback", 0.8f},
          {"Angle Y", 0.1f}}, 4},
    };
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    const char* only = argc > 1 ? argv[1] : nullptr;
    for (const Scenario& s : scenarios()) {
        if (only != nullptr && std::string(only) != s.plugin) continue;
        vyrtest::PluginLibrary lib(s.plugin);
        std::srand(1);
        vyrtest::Instance inst(lib, s.width, s.height, s.bitDepth);
        if (!inst.ok()) {
            std::printf("%s %s instantiate-failed\n", s.plugin, s.label);
            continue;
        }
        for (const auto& p : s.params) inst.setParameter(p.first, p.second);
        std::printf("%s %s", s.plugin, s.label);
        const std::vector<uint8_t> input = testPicture(s.width, s.height, inst.bytesPerPixel());
        for (int f = 0; f < s.frames; ++f) {
            std::vector<uint8_t> frame = input;
            const uint32_t r = inst.processFrame(frame);
            std::printf(" %s", r == 0 ? vyrtest::hex64(vyrtest::fnv1a(frame)).c_str() : "failed");
        }
        std::printf("\n");
    }
    return 0;
}
