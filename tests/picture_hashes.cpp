// Renders fixed scenarios of every plug-in and hashes every frame.
//
//   picture_hashes [PLUGIN]              print one line per scenario
//   picture_hashes --check REF [PLUGIN]  compare with a stored reference file
//
// The stored reference (tests/ref/picture_hashes.txt) holds what every build
// (32- and 64-bit, any OpenMP thread count, any instruction-set path, chosen
// with VYR_ISA) must draw.
// A deliberate change of pictures is made by regenerating it:
//   build/tests/picture_hashes > tests/ref/picture_hashes.txt
// and shows as a diff of that file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin_host.h"

namespace {

// How the frames reach the plug-in: in place, through processFrameCopy, or
// through a caller's multi-frame record (code 16).
enum class Call {
    InPlace,
    Copy,
    Multi
};

// A parameter set before the first frame (frame 0) or before frame `frame`.
struct Change {
    int frame;
    const char* name;
    float value;
};

struct Scenario {
    const char* plugin;
    const char* label;
    uint32_t width, height, bitDepth;
    std::vector<Change> changes;
    int frames;
    Call call = Call::InPlace;
};

constexpr uint32_t k32 = ff::kDepth32;
constexpr uint32_t k24 = ff::kDepth24;

// Every parameter of every plug-in moves in at least one scenario; each
// plug-in runs at 24 and 32 bits, at odd sizes, at 1920x1080 and through
// all three frame entries.
const std::vector<Scenario>& scenarios() {
    // clang-format off
    static const std::vector<Scenario> list = {
        {"VyrSnowSpecks1", "defaults-32", 160, 120, k32, {}, 4},
        {"VyrSnowSpecks1", "defaults-24", 97, 61, k24, {}, 4},
        {"VyrSnowSpecks1", "rotated-16dots", 160, 120, k32,
         {{0, "Angle X", 0.31f}, {0, "Angle Y", 0.82f}, {0, "Angle Z", 0.64f}, {0, "Num Particles", 1.0f}}, 6},
        {"VyrSnowSpecks1", "dim-small-24", 160, 120, k24,
         {{0, "Brightness", 0.0f}, {0, "Dot Scale", 0.15f}, {0, "Angle Y", 0.2f}, {0, "Num Particles", 0.7f}}, 6},
        {"VyrSnowSpecks1", "bright-flat", 160, 120, k32,
         {{0, "Brightness", 1.0f}, {0, "Dot Scale", 0.3f}, {0, "Num Particles", 0.3f}, {0, "Angle Z", 0.9f}}, 5},
        {"VyrSnowSpecks1", "tall-24", 61, 150, k24,
         {{0, "Brightness", 0.7f}, {0, "Dot Scale", 0.4f}, {0, "Angle X", 0.05f}}, 6},
        {"VyrSnowSpecks1", "switch-off-on", 101, 77, k32,
         {{2, "Draw Switch!", 0.2f}, {3, "Draw Switch!", 0.21f}, {4, "Num Particles", 0.9f}}, 6},
        {"VyrSnowSpecks1", "copy-24", 99, 67, k24, {{0, "Dot Scale", 0.9f}, {0, "Brightness", 0.8f}}, 3, Call::Copy},
        {"VyrSnowSpecks1", "multi-32", 99, 67, k32, {{0, "Num Particles", 0.5f}}, 3, Call::Multi},
        {"VyrSnowSpecks1", "hd-defaults", 1920, 1080, k32, {}, 1},
        {"VyrSnowSpecks1", "hd-heaviest-24", 1920, 1080, k24,
         {{0, "Dot Scale", 1.0f}, {0, "Brightness", 1.0f}, {0, "Num Particles", 1.0f}}, 2},

        {"VyrGlobHeap1", "defaults-32", 160, 120, k32, {}, 4},
        {"VyrGlobHeap1", "defaults-24", 97, 61, k24, {}, 4},
        {"VyrGlobHeap1", "noise", 160, 120, k32, {{0, "NoiseLevel", 0.7f}, {0, "Dot Scale", 0.3f}}, 4},
        {"VyrGlobHeap1", "spin", 160, 120, k32,
         {{0, "Angle Anim", 1.0f}, {0, "Dot Scale", 0.2f}, {0, "Num Particles", 0.3f}}, 6},
        {"VyrGlobHeap1", "rotation", 160, 120, k32,
         {{0, "Angle X", 0.3f}, {0, "Angle Y", 0.7f}, {0, "Angle Z", 0.9f}, {0, "Angle Anim", 0.2f}, {0, "Dot Scale", 0.25f}}, 5},
        {"VyrGlobHeap1", "shifts", 160, 120, k32,
         {{0, "Origin X", 0.6f}, {0, "Origin Y", 0.35f}, {0, "Trans X", 0.9f}, {0, "Trans Y", 0.2f}, {0, "Trans Z", 0.8f},
          {0, "Dot Scale", 0.3f}}, 4},
        {"VyrGlobHeap1", "heavy-noise", 160, 120, k32,
         {{0, "Num Particles", 1.0f}, {0, "Dot Scale", 1.0f}, {0, "Speed", 1.0f}, {0, "NoiseLevel", 0.6f}}, 4},
        {"VyrGlobHeap1", "small-many-noise-24", 97, 61, k24,
         {{0, "Dot Scale", 0.05f}, {0, "Num Particles", 0.8f}, {0, "NoiseLevel", 1.0f}, {0, "Angle Anim", 0.7f}}, 5},
        {"VyrGlobHeap1", "origin-z-speed-24", 101, 77, k24,
         {{0, "Origin Z", 0.9f}, {0, "Speed", 0.1f}, {2, "Speed", 0.9f}, {3, "Dot Scale", 0.4f}}, 5},
        {"VyrGlobHeap1", "copy-32", 99, 67, k32, {{0, "NoiseLevel", 0.3f}}, 3, Call::Copy},
        {"VyrGlobHeap1", "multi-24", 99, 67, k24, {{0, "Angle Anim", 0.9f}}, 3, Call::Multi},
        {"VyrGlobHeap1", "hd-defaults", 1920, 1080, k32, {}, 1},
        {"VyrGlobHeap1", "hd-heaviest-24", 1920, 1080, k24,
         {{0, "Dot Scale", 1.0f}, {0, "Num Particles", 1.0f}, {0, "NoiseLevel", 1.0f}}, 2},

        {"VyrGlobSwirl1", "defaults-32", 160, 120, k32, {}, 4},
        {"VyrGlobSwirl1", "defaults-24", 97, 61, k24, {}, 4},
        {"VyrGlobSwirl1", "preset1", 160, 120, k32, {{0, "Mode", 0.2f}, {0, "Speed", 0.5f}, {0, "Num Particles", 0.5f}}, 4},
        {"VyrGlobSwirl1", "preset2", 160, 120, k32, {{0, "Mode", 0.4f}, {0, "Speed", 0.2f}, {0, "Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "preset3", 160, 120, k32, {{0, "Mode", 0.6f}, {0, "Speed", 0.5f}, {0, "Num Particles", 0.5f}}, 4},
        {"VyrGlobSwirl1", "preset4", 160, 120, k32, {{0, "Mode", 0.8f}, {0, "Speed", 0.2f}, {0, "Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "preset5", 160, 120, k32, {{0, "Mode", 1.0f}, {0, "Speed", 0.5f}, {0, "Num Particles", 0.5f}}, 4},
        {"VyrGlobSwirl1", "alpha", 160, 120, k32,
         {{0, "Alpha Switch", 1.0f}, {0, "Speed", 0.3f}, {0, "Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "alpha-noise", 160, 120, k32,
         {{0, "Alpha Switch", 0.8f}, {0, "NoiseLevel", 0.4f}, {0, "Mode", 0.8f}, {0, "Speed", 0.2f}, {0, "Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "noise", 160, 120, k32, {{0, "NoiseLevel", 0.8f}, {0, "Speed", 0.3f}, {0, "Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "rotation", 160, 120, k32,
         {{0, "Angle X", 0.6f}, {0, "Angle Y", 0.3f}, {0, "Angle Z", 0.85f}, {0, "Speed", 0.3f}, {0, "Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "shifts", 160, 120, k32,
         {{0, "Origin X", 0.6f}, {0, "Origin Y", 0.42f}, {0, "Translate X", 0.9f}, {0, "Translate Y", 0.15f},
          {0, "Translate Z", 0.8f}, {0, "Speed", 0.3f}, {0, "Num Particles", 0.2f}}, 4},
        {"VyrGlobSwirl1", "many-noise-24", 97, 61, k24,
         {{0, "Dot Scale", 0.05f}, {0, "Num Particles", 1.0f}, {0, "Mode", 0.8f}, {0, "NoiseLevel", 0.5f}, {0, "Angle Y", 0.7f},
          {0, "Alpha Switch", 1.0f}, {0, "Speed", 0.6f}}, 4},
        {"VyrGlobSwirl1", "switch-off-on-24", 101, 77, k24,
         {{0, "Origin Z", 0.1f}, {2, "Draw Switch!", 0.0f}, {3, "Draw Switch!", 0.01f}, {4, "Mode", 0.5f}}, 6},
        {"VyrGlobSwirl1", "copy-24", 99, 67, k24, {{0, "Mode", 0.6f}, {0, "Dot Scale", 0.5f}}, 3, Call::Copy},
        {"VyrGlobSwirl1", "multi-32", 99, 67, k32, {{0, "Alpha Switch", 1.0f}}, 3, Call::Multi},
        {"VyrGlobSwirl1", "hd-defaults", 1920, 1080, k32, {}, 1},
        {"VyrGlobSwirl1", "hd-heaviest-24", 1920, 1080, k24,
         {{0, "Dot Scale", 0.67f}, {0, "Num Particles", 1.0f}, {0, "Alpha Switch", 1.0f}, {0, "NoiseLevel", 1.0f}}, 2},

        {"VyrBrushDrift1", "defaults-32", 160, 120, k32, {}, 4},
        {"VyrBrushDrift1", "defaults-24", 97, 61, k24, {}, 4},
        {"VyrBrushDrift1", "blend-input", 160, 120, k32,
         {{0, "Blend Input", 0.6f}, {0, "Num Particles", 0.3f}, {0, "Angle X", 0.3f}, {0, "Angle Z", 0.8f}}, 4},
        {"VyrBrushDrift1", "alpha-0", 160, 120, k32, {{0, "Alpha Mode", 0.2f}, {0, "Blend Input", 0.1f}}, 4},
        {"VyrBrushDrift1", "alpha-input", 160, 120, k32, {{0, "Alpha Mode", 1.0f}, {0, "Blend Input", 0.3f}}, 4},
        {"VyrBrushDrift1", "swirl", 160, 120, k32,
         {{0, "Source Zoom", 0.7f}, {0, "Source Rotation", 0.45f}, {0, "Source Range", 0.8f}, {0, "Source Val", 0.2f},
          {0, "Blend Input", 0.5f}, {0, "Dot Scale", 0.2f}, {0, "Num Particles", 0.5f}}, 4},
        {"VyrBrushDrift1", "feedback-0", 160, 120, k32, {{0, "Feedback", 0.0f}, {0, "Speed", 1.0f}}, 4},
        {"VyrBrushDrift1", "feedback-1", 160, 120, k32, {{0, "Feedback", 1.0f}, {0, "Blend Input", 0.4f}}, 4},
        {"VyrBrushDrift1", "swirl-24", 97, 61, k24,
         {{0, "Blend Input", 0.8f}, {0, "Source Zoom", 0.9f}, {0, "Source Rotation", 0.7f}, {0, "Feedback", 0.8f},
          {0, "Angle Y", 0.1f}}, 4},
        {"VyrBrushDrift1", "displacement-24", 101, 77, k24,
         {{0, "Displacement", 0.3f}, {0, "Blend Input", 0.7f}, {0, "Source Range", 0.9f}, {2, "Displacement", 0.0f}}, 5},
        {"VyrBrushDrift1", "copy-32", 99, 67, k32, {{0, "Blend Input", 0.5f}, {0, "Source Zoom", 0.6f}}, 3, Call::Copy},
        {"VyrBrushDrift1", "multi-24", 99, 67, k24, {{0, "Blend Input", 0.9f}, {0, "Feedback", 0.2f}}, 3, Call::Multi},
        {"VyrBrushDrift1", "hd-defaults", 1920, 1080, k32, {}, 1},
        {"VyrBrushDrift1", "hd-heaviest-24", 1920, 1080, k24,
         {{0, "Dot Scale", 1.0f}, {0, "Num Particles", 1.0f}, {0, "Source Zoom", 1.0f}, {0, "Source Range", 1.0f},
          {0, "Alpha Mode", 1.0f}, {0, "Blend Input", 1.0f}}, 1},
    };
    // clang-format on
    return list;
}

// One frame through the scenario's entry; the hash of what the host sees.
std::string renderOne(vyrtest::Instance& inst, Call call, const std::vector<uint8_t>& input) {
    std::vector<uint8_t> out;
    uint32_t r = 0;
    switch (call) {
        case Call::InPlace:
            out = input;
            r = inst.processFrame(out);
            break;
        case Call::Copy:
            out.assign(input.size(), 0);
            r = inst.processFrameCopy({input.data()}, out);
            break;
        case Call::Multi: {
            vyrtest::CallerRecord rec(input, int(inst.width()), int(inst.height()), int(inst.bytesPerPixel()));
            r = inst.processFrameMulti(&rec.record);
            out = rec.outPixels;
            break;
        }
    }
    return r == 0 ? vyrtest::hex64(vyrtest::fnv1a(out)) : "failed";
}

std::string runScenario(const Scenario& s) {
    std::string line = std::string(s.plugin) + " " + s.label;
    vyrtest::PluginLibrary lib(s.plugin);
    std::srand(1);
    std::unique_ptr<vyrtest::Instance> made;
    try {
        made.reset(new vyrtest::Instance(lib, s.width, s.height, s.bitDepth));
    } catch (const std::exception&) {
        return line + " instantiate-failed";
    }
    vyrtest::Instance& inst = *made;
    const std::vector<uint8_t> input = vyrtest::texturedPicture(inst);
    for (int f = 0; f < s.frames; ++f) {
        for (const Change& c : s.changes)
            if (c.frame == f && inst.setParameter(c.name, c.value) != 0) return line + " bad-parameter:" + c.name;
        line += " " + renderOne(inst, s.call, input);
    }
    return line;
}

// "plugin label" -> whole line, from a reference file.
std::map<std::string, std::string> readReference(const char* path) {
    std::map<std::string, std::string> ref;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t first = line.find(' ');
        const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second != std::string::npos) ref[line.substr(0, second)] = line;
    }
    return ref;
}

}  // namespace

// Whether this CPU has the instruction-set path VYR_ISA names (as the
// plug-ins judge it), so that a test of a path it lacks is skipped rather
// than run on another path unnoticed.
bool cpuHasRequestedPath() {
    const char* isa = std::getenv("VYR_ISA");
    if (isa == nullptr) return true;
    __builtin_cpu_init();
    if (std::string(isa) == "avx2") return __builtin_cpu_supports("avx2");
    if (std::string(isa) == "avx512")
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
    return true;
}

int main(int argc, char** argv) {
    if (!cpuHasRequestedPath()) {
        std::printf("skipped: this CPU has no %s path\n", std::getenv("VYR_ISA"));
        return 77;
    }
    const char* refPath = nullptr;
    const char* only = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--check" && i + 1 < argc)
            refPath = argv[++i];
        else
            only = argv[i];
    }
    std::map<std::string, std::string> ref;
    if (refPath != nullptr) {
        ref = readReference(refPath);
        if (ref.empty()) {
            std::fprintf(stderr, "no reference lines in %s\n", refPath);
            return 2;
        }
    }
    int mismatches = 0, checked = 0;
    for (const Scenario& s : scenarios()) {
        if (only != nullptr && std::string(only) != s.plugin) continue;
        const std::string line = runScenario(s);
        if (refPath == nullptr) {
            std::printf("%s\n", line.c_str());
            continue;
        }
        ++checked;
        const auto it = ref.find(std::string(s.plugin) + " " + s.label);
        if (it == ref.end()) {
            std::printf("missing from the reference: %s\n", line.c_str());
            ++mismatches;
        } else if (it->second != line) {
            std::printf("differs:\n  expected %s\n  got      %s\n", it->second.c_str(), line.c_str());
            ++mismatches;
        }
    }
    if (refPath != nullptr)
        std::printf("%d of %d scenarios match the stored reference\n", checked - mismatches, checked);
    return mismatches == 0 ? 0 : 1;
}
