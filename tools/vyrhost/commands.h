// vyrhost's four commands. Each returns the process exit status and throws
// HostError for failures that main() reports.
#pragma once

#include <string>
#include <vector>

namespace vyrhost {

// What render and bench share: the plug-in, its frame format, its
// parameters and its input.
struct RunOptions {
    std::string plugin;
    std::string pluginDir;
    std::string size;    // empty: the parameter file's, the input's, else 1280x720
    std::string params;  // a parameter file; --set and --ramp act on top of it
    int depth = 32;
    std::vector<std::string> sets, ramps;
    std::string input;
    bool copy = false;  // processFrameCopy instead of processFrame
    bool seeded = false;
    unsigned seed = 0;
    int threads = 0;  // 0: the OpenMP runtime's own choice
};

struct RenderOptions : RunOptions {
    std::string output;
    long frames = 0;  // 0: chosen from the output and input
    std::string fps;  // empty: the input video's rate, else 30
    std::string codec;
    int crf = -1;  // -1: the encoder's default here
    bool scaleToEven = false;
    bool opaque = false;
    bool quiet = false;
};

struct BenchOptions : RunOptions {
    long frames = 100;
    long warmup = 10;
};

struct PlayOptions : RunOptions {
    std::string fps;  // empty: the parameter file's, else 60
    bool fullscreen = false;
    bool overlay = false;  // shown from the start
    int oscPort = 9000;    // 0: any free port; -1: no OSC
    bool noMidi = false;
    std::string midiFrom, midiMap;
    std::string mouseX, mouseY;  // parameters the mouse moves
    std::string outDir = ".";    // snapshots and window shots
    std::string take;            // video name of takes; empty: OUTDIR/PLUGIN-take.mkv
    std::string codec;
    int crf = -1;
    std::string script;  // scripted key and mouse events
    long frames = 0;     // stop after this many frames; 0: when the window closes
    bool stats = false;  // frames per second on standard output, each second
};

int runList(const std::string& dir);
int runInfo(const std::string& plugin, const std::string& pluginDir);
int runRender(const RenderOptions& options);
int runBench(const BenchOptions& options);
int runPlay(const PlayOptions& options);

}  // namespace vyrhost
