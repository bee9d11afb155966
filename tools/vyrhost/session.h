// The set-up that render and bench share: thread count, the plug-in and
// its frame format checked against its capabilities, and the parameter
// settings resolved to indices, all before any frame is rendered.
#pragma once

#include <memory>
#include <vector>

#include "commands.h"
#include "host_error.h"
#include "options.h"
#include "params_file.h"

namespace vyrhost {

struct ResolvedSetting {
    uint32_t index;
    ParamSetting setting;
};

struct ResolvedTrack {
    uint32_t index;
    ParamTrack track;
};

struct Session {
    std::unique_ptr<Plugin> plugin;
    FrameSize size;
    bool sizeGiven = false;  // by --size or the parameter file; else 1280x720
    int bytesPerPixel = 4;
    std::string paramsPath;
    ParamsFile file;                        // from --params; empty without one
    std::vector<ResolvedTrack> tracks;      // the parameter file's, applied first
    std::vector<ResolvedSetting> settings;  // --set first, then --ramp; later ones win
    bool seeded = false;                    // --seed, else the file's seed
    unsigned seed = 0;

    bool hasRamps() const;
    // Whether --set, --ramp or the file's parameters give parameter `index`.
    bool setsParameter(uint32_t index) const;
    // The clip's frame rate, which places keys given in seconds; checks
    // that every track's keys are in time order.
    void setRate(Rate rate);
    // Sets every parameter that has a setting to its value at `frame`. A
    // value the instance already has is not set again (as the live window
    // only sets what changed), except on a new instance.
    void apply(Instance& inst, long frame, long frames);
    // The next apply() goes to a new instance: every value is set.
    void newInstance() { applied_.clear(); }
    // Seeds the plug-in's next instance, to be made after this call:
    // FreeFrame plug-ins draw from the C library's generator, seeded here; a
    // frei0r plug-in with a "Seed" parameter gets the seed's value from
    // apply(), unless a setting or the file's track gives it one.
    void seedNextInstance(unsigned seed);
    // seedNextInstance(seed) when a seed was asked for.
    void seedIfAsked();
    // The seed a take asks for before rendering frame `frame` (> 0), if any.
    bool reseedAt(long frame, unsigned& seed) const;

   private:
    Rate rate_;
    std::vector<std::pair<uint32_t, float>> applied_;
    bool seedSet_ = false;  // the seed goes to a frei0r "Seed"
    unsigned seedNow_ = 0;
};

// The OpenMP runtime's settings a command wants: --threads, and with
// `passiveWait` workers that sleep between frames instead of spinning (for
// renders, where the host encodes between frames) unless the user set
// OMP_WAIT_POLICY. The runtime reads its environment once, when it is
// loaded, and FFmpeg's libraries load it at start-up: when the settings
// differ from the environment, vyrhost restarts itself with them (and
// this does not return). Called first, before any plug-in is loaded.
void applyThreadSettings(const RunOptions& options, bool passiveWait);

// main() hands over its argv, with which applyThreadSettings restarts the
// program.
void keepProgramArguments(char** argv);

// The parameter file, size, depth and settings, and the plug-in loaded and
// checked against them.
Session openSession(const RunOptions& options);

// Threads in this process now (the calling thread included).
int processThreadCount();

}  // namespace vyrhost
