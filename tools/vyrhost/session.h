// The set-up that render and bench share: thread count, the plug-in and
// its frame format checked against its capabilities, and the parameter
// settings resolved to indices, all before any frame is rendered.
#pragma once

#include <memory>
#include <vector>

#include "commands.h"
#include "options.h"
#include "plugin.h"

namespace vyrhost {

struct ResolvedSetting {
    uint32_t index;
    ParamSetting setting;
};

struct Session {
    std::unique_ptr<Plugin> plugin;
    FrameSize size;
    int bytesPerPixel = 4;
    std::vector<ResolvedSetting> settings;  // --set first, then --ramp; later ones win

    bool hasRamps() const;
    // Sets every parameter that has a setting to its value at `frame`.
    void apply(Instance& inst, long frame, long frames) const;
};

// `passiveWait`: the OpenMP workers sleep between frames instead of spinning
// (for renders, where the host encodes between frames), unless the user set
// OMP_WAIT_POLICY.
Session openSession(const RunOptions& options, bool passiveWait);

// main() hands over its argv, with which --threads restarts the program.
void keepProgramArguments(char** argv);

// Seeds the C library's generator when asked; the plug-ins draw from it.
void seedIfAsked(const RunOptions& options);

// Threads in this process now (the calling thread included).
int processThreadCount();

}  // namespace vyrhost
