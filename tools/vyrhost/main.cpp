// vyrhost: loads FreeFrame 1.0 plug-ins and lists, describes, renders and
// times them from the command line.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <new>
#include <string>

#include "commands.h"
#include "crash_guard.h"
#include "host_error.h"
#include "options.h"
#include "plugin_folder.h"
#include "session.h"
#include "video_reader.h"

namespace {

using vyrhost::RunOptions;

constexpr int kUsageStatus = 2;

// A check that runs one of vyrhost's own parsers on an option's text, so
// that a value it refuses stops the command line (status 2) with its plain
// line before anything runs.
CLI::Validator parsedBy(const std::function<void(const std::string&)>& parse) {
    return CLI::Validator(
        [parse](std::string& text) {
            parse(text);
            return std::string();
        },
        "");
}

// A whole number from `min` to `max`, refused as counts are.
CLI::Validator numberIn(const std::string& name, long min, long max) {
    return parsedBy([name, min, max](const std::string& v) { vyrhost::parseCount(v, name, min, max); });
}

void addRunOptions(CLI::App* cmd, RunOptions& o) {
    cmd->add_option("PLUGIN", o.plugin, "plug-in file, or a plug-in name looked up in the plug-in folder")->required();
    cmd->add_option("--size", o.size,
                    "frame size WIDTHxHEIGHT (default: the parameter file's, else the input's, else 1280x720)")
        ->check(parsedBy([](const std::string& v) { vyrhost::parseSize(v); }))
        ->type_name("WxH");
    cmd->add_option("--params", o.params,
                    "a parameter file (JSON): values and keyframes, seed, size, frame rate and length; "
                    "--set, --ramp and the other options act on top of it")
        ->type_name("FILE");
    cmd->add_option("--depth", o.depth, "bits per pixel, 24 or 32")
        ->check(parsedBy([](const std::string& v) {
            if (v != "24" && v != "32") throw vyrhost::HostError("--depth \"" + v + "\": expected 24 or 32");
        }))
        ->capture_default_str();
    cmd->add_option("--set", o.sets, "set a parameter: NAME=VALUE or INDEX=VALUE, VALUE from 0 to 1 (repeatable)")
        ->allow_extra_args(false)
        ->check(parsedBy([](const std::string& v) { vyrhost::parseSet(v); }))
        ->type_name("NAME=VALUE");
    cmd->add_option("--ramp", o.ramps, "move a parameter linearly over the clip: NAME=FROM:TO (repeatable)")
        ->allow_extra_args(false)
        ->check(parsedBy([](const std::string& v) { vyrhost::parseRamp(v); }))
        ->type_name("NAME=FROM:TO");
    cmd->add_option("--input", o.input,
                    "input for effects: an image, an image sequence (in_%04d.png) or a video, scaled to --size; "
                    "default: a built-in test picture")
        ->type_name("FILE");
    cmd->add_flag_callback(
        "--large-input", [] { vyrhost::allowLargeInputs(true); },
        "read inputs beyond 50 megapixels per picture (refused otherwise: they take gigabytes)");
    cmd->add_flag("--copy", o.copy, "use processFrameCopy (separate output buffer) instead of processFrame");
    cmd->add_option_function<unsigned>(
           "--seed",
           [&o](const unsigned& v) {
               o.seeded = true;
               o.seed = v;
           },
           "seed the plug-in with N (default: the parameter file's): FreeFrame plug-ins through the C library's "
           "random generator, seeded before instantiating; frei0r plug-ins with a \"Seed\" parameter (Vyr's) by "
           "setting it to N/1000000, unless --set or the file gives it; in play, n re-seeds either kind")
        ->check(numberIn("--seed", 0, 4294967295L))
        ->type_name("N");
    cmd->add_option("--threads", o.threads, "worker threads for OpenMP plug-ins (sets OMP_NUM_THREADS)")
        ->check(numberIn("--threads", 1, 1024))
        ->type_name("N");
}

// A count option, checked by parseCount: one plain line when refused.
void addCount(CLI::App* cmd, const std::string& name, long& target, long min, long max, const std::string& help) {
    cmd->add_option_function<std::string>(
           name, [&target, name, min, max](const std::string& v) { target = vyrhost::parseCount(v, name, min, max); },
           help)
        ->type_name("N");
}

}  // namespace

static int runCommandLine(int argc, char** argv) {
    // A closed pipe is reported as a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    vyrhost::keepProgramArguments(argv);
    vyrhost::reportCrashesAs("vyrhost");

    CLI::App app{"vyrhost: a command-line host for FreeFrame 1.0 video plug-ins"};
    app.set_version_flag("--version", "vyrhost 1.0");
    app.require_subcommand(1);
    std::string pluginDir = vyrhost::defaultPluginDir();
    app.add_option("--plugin-dir", pluginDir, "folder searched for plug-ins named without a path")
        ->type_name("DIR")
        ->capture_default_str();
    app.fallthrough();

    std::string listDir;
    CLI::App* list = app.add_subcommand("list", "list the plug-ins in a folder");
    list->add_option("DIR", listDir, "folder to list (default: the plug-in folder)")->type_name("DIR");

    std::string infoPlugin;
    CLI::App* info = app.add_subcommand("info", "describe a plug-in: descriptor, capabilities, parameters");
    info->add_option("PLUGIN", infoPlugin, "plug-in file, or a plug-in name looked up in the plug-in folder")
        ->required();

    vyrhost::RenderOptions render;
    CLI::App* renderCmd = app.add_subcommand("render", "render frames to a PNG, a PNG sequence, a video or a pipe");
    addRunOptions(renderCmd, render);
    renderCmd
        ->add_option("-o,--output", render.output,
                     "out.png (one frame: the last), out_%04d.png (numbered from 0), a video (.mp4, .mkv, .webm, "
                     ".mov, .avi, .gif) or - for raw BGRA/BGR24 frames on standard output")
        ->required()
        ->type_name("FILE");
    addCount(renderCmd, "--frames", render.frames, 1, vyrhost::kMaxFrames,
             "frames to render (default: the parameter file's, 1 for a .png, the whole --input clip, else 60)");
    renderCmd
        ->add_option("--fps", render.fps,
                     "frame rate of a video file (default: the parameter file's, the input's, else 30)")
        ->check(parsedBy([](const std::string& v) { vyrhost::parseRate(v); }))
        ->type_name("RATE");
    renderCmd
        ->add_option("--codec", render.codec,
                     "video encoder, e.g. libx264, ffv1, qtrle, prores_ks, libvpx-vp9 (default: the container's: "
                     "libx264 for .mp4/.mkv/.mov, libvpx-vp9 for .webm)")
        ->type_name("NAME");
    renderCmd
        ->add_option("--crf,--quality", render.crf,
                     "constant quality of libx264/libx265 (0-51, default 18) or libvpx-vp9 (0-63, default 24); "
                     "lower is better")
        ->check(numberIn("--crf", 0, 63))
        ->type_name("N");
    renderCmd
        ->add_option_function<std::string>(
            "--even", [&render](const std::string& v) { render.scaleToEven = v == "scale"; },
            "sizes that 4:2:0 video cannot carry: pad (default) or scale to the next even size")
        ->check(CLI::IsMember({"pad", "scale"}))
        ->type_name("pad|scale");
    renderCmd->add_flag("--opaque", render.opaque,
                        "drop the alpha byte (32-bit PNGs and videos whose codec carries alpha keep it otherwise)");
    renderCmd->add_flag("-q,--quiet", render.quiet, "print nothing when all goes well");

    vyrhost::BenchOptions bench;
    CLI::App* benchCmd = app.add_subcommand("bench", "time a plug-in: frames per second and milliseconds per frame");
    addRunOptions(benchCmd, bench);
    addCount(benchCmd, "--frames", bench.frames, 1, vyrhost::kMaxBenchFrames, "frames to time (default 100)");
    addCount(benchCmd, "--warmup", bench.warmup, 0, vyrhost::kMaxWarmup,
             "frames rendered before timing starts (default 10)");

    vyrhost::PlayOptions play;
    CLI::App* playCmd = app.add_subcommand(
        "play", "show a plug-in live in a window, played from the keyboard, the mouse, OSC and MIDI");
    addRunOptions(playCmd, play);
    playCmd->add_option("--fps", play.fps, "frame rate (default: the parameter file's, else 60)")
        ->check(parsedBy([](const std::string& v) { vyrhost::parseRate(v); }))
        ->type_name("RATE");
    playCmd->add_flag("--fullscreen", play.fullscreen, "start full-screen (f toggles)");
    playCmd->add_flag("--overlay", play.overlay, "show the parameter overlay from the start (h toggles)");
    playCmd->add_option("--osc-port", play.oscPort, "UDP port for OSC (0: any free port, -1: no OSC)")
        ->check(numberIn("--osc-port", -1, 65535))
        ->capture_default_str();
    playCmd->add_flag("--no-midi", play.noMidi, "do not open the ALSA sequencer");
    playCmd
        ->add_option("--midi-from", play.midiFrom,
                     "connect only this ALSA sequencer port, e.g. 24:0 or a client name (default: every one)")
        ->type_name("PORT");
    playCmd->add_option("--midi-map", play.midiMap, "MIDI mapping file: loaded when it exists, saved on learning")
        ->type_name("FILE");
    playCmd->add_option("--mouse-x", play.mouseX, "parameter the mouse's x moves (x binds the selected one)")
        ->type_name("NAME");
    playCmd->add_option("--mouse-y", play.mouseY, "parameter the mouse's y moves (y binds the selected one)")
        ->type_name("NAME");
    playCmd->add_option("--out-dir", play.outDir, "folder for snapshots, window shots and takes")
        ->type_name("DIR")
        ->capture_default_str();
    playCmd
        ->add_option("--take", play.take,
                     "video name for recorded takes, numbered (default: OUT-DIR/PLUGIN-take-N.mkv); the "
                     "parameter file goes beside it as .json")
        ->type_name("FILE");
    playCmd->add_option("--codec", play.codec, "video encoder for takes (default: the container's)")->type_name("NAME");
    playCmd->add_option("--crf,--quality", play.crf, "constant quality of takes, as for render")
        ->check(numberIn("--crf", 0, 63))
        ->type_name("N");
    playCmd
        ->add_option("--script", play.script,
                     "scripted input: lines \"FRAME key NAME\", \"FRAME mouse X Y\" (0..1) or \"FRAME quit\"")
        ->type_name("FILE");
    addCount(playCmd, "--frames", play.frames, 1, vyrhost::kMaxFrames, "close after this many frames");
    playCmd->add_flag("--stats", play.stats, "print frames per second and dropped frames every second");

    // Every refusal is one line in one format, "vyrhost: error: ...", with
    // exit status 2 for a command line that cannot be run and 1 for a run
    // that failed; help and --version exit 0.
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // help and --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vyrhost: error: %s\n", e.what());
        return kUsageStatus;
    } catch (const vyrhost::HostError& e) {
        std::fprintf(stderr, "vyrhost: error: %s\n", e.what());
        return kUsageStatus;
    }

    try {
        if (list->parsed()) return vyrhost::runList(listDir.empty() ? pluginDir : listDir);
        if (info->parsed()) return vyrhost::runInfo(infoPlugin, pluginDir);
        if (renderCmd->parsed()) {
            render.pluginDir = pluginDir;
            return vyrhost::runRender(render);
        }
        if (playCmd->parsed()) {
            play.pluginDir = pluginDir;
            return vyrhost::runPlay(play);
        }
        bench.pluginDir = pluginDir;
        return vyrhost::runBench(bench);
    } catch (const vyrhost::HostError& e) {
        std::fprintf(stderr, "vyrhost: error: %s\n", e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vyrhost: error: out of memory\n");
    }
    return 1;
}

int main(int argc, char** argv) {
    // Whatever else fails is one line too, not an abort.
    try {
        return runCommandLine(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vyrhost: error: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "vyrhost: error: unknown failure\n");
    }
    return 1;
}
