// Where rendered frames go. Every file appears under its final name only
// when it is complete: a PNG or video is written under a temporary name
// beside it and renamed at the end, and a PNG sequence whose render fails
// is removed again, so a failed render leaves nothing half-written behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "options.h"

namespace vyrhost {

struct SinkSettings {
    std::string output;  // file name, sequence pattern or "-"
    int width = 0, height = 0, bytesPerPixel = 4;
    Rate rate;
    std::string codec;         // video encoder name; empty for the container's default
    bool keepAlpha = true;     // 32-bit frames keep alpha where the format carries it
    int crf = -1;              // video constant quality; -1 for the encoder's default here
    bool scaleToEven = false;  // odd sizes a video format cannot carry: scale, not pad
    bool realtime = false;     // encode fast enough to keep up with a live window
};

class FrameSink {
   public:
    virtual ~FrameSink() = default;
    virtual void write(const uint8_t* pixels) = 0;
    // Completes the output and gives it its final name.
    virtual void finish() = 0;
    // After a failure: removes what this sink left and says what became of
    // the output, e.g. "nothing was written".
    virtual std::string abandon() = 0;
    // A short description of the finished output, e.g. "out.mp4 (libx264)".
    virtual std::string describe() const = 0;
    // For a crash, when abandon() cannot run: the file to remove (empty for
    // none) and what became of the output.
    virtual std::string temporaryPath() const { return std::string(); }
    virtual std::string crashNote() const = 0;
    // The file the last write() completed, for the crash guard (empty for
    // outputs that are one file).
    virtual std::string lastWritten() const { return std::string(); }
    // Whether the frames written so far make a usable output when a render
    // is stopped early (a video or a sequence do, the last frame of a
    // clip does not).
    virtual bool keepsPartial() const { return true; }
    // One line for the user before the render, and one after it; empty
    // when there is nothing to say.
    virtual std::string startNote() const { return std::string(); }
    virtual std::string endNote() const { return std::string(); }
};

// Checks that the output can be written before anything is rendered.
std::unique_ptr<FrameSink> openSink(const SinkSettings& settings);

}  // namespace vyrhost
