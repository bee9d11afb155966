// The last word when a plug-in brings the process down. A plug-in runs in
// vyrhost's own process, so a crash inside it (or a second Ctrl-C while it
// is busy) would otherwise end vyrhost silently and leave the temporary
// output file behind. While a render runs, these signals remove the
// temporary file and print one line naming the plug-in and the frame.
#pragma once

#include <string>

namespace vyrhost {

// Outside a render's CrashGuard (which reports in more detail while it
// lives), a crash is one line naming `culprit`: the plug-in file vyrhost is
// loading, asking or timing, or vyrhost itself. Installed by main() for
// every command; later calls change the name.
void reportCrashesAs(const std::string& culprit);

class CrashGuard {
   public:
    explicit CrashGuard(const std::string& pluginName);
    ~CrashGuard();
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;

    // `temporaryPath` is removed on a crash (empty: nothing to remove);
    // `lostOutput` says what the user did not get, e.g. "out.mp4 was not
    // written". Until it is set, nothing has been written.
    void setOutput(const std::string& temporaryPath, const std::string& lostOutput);
    // A file the run has completed (a frame of a sequence): removed on a
    // crash or a second Ctrl-C too, so that such a run leaves nothing.
    void addWritten(const std::string& path);
    // The frame being rendered, and whether the plug-in has the CPU (a
    // crash elsewhere is vyrhost's own).
    void setFrame(long frame);
    void setInPlugin(bool inPlugin);
    // The output is complete: the default handlers return.
    void disarm();
    // True once Ctrl-C (or SIGTERM) asked the render to stop.
    bool interrupted() const;

   private:
    bool armed_ = true;
};

}  // namespace vyrhost
