// The pieces of vyrhost's command line that need more than CLI11's own
// checks: frame sizes, parameter assignments and ramps, and what an output
// name asks for. Pure functions; each throws HostError with a message a user
// can act on.
#pragma once

#include <string>
#include <vector>

namespace vyrhost {

struct FrameSize {
    int width = 0, height = 0;
};

// "WxH" with both sides 1..16384 (so that a 32-bit frame's byte count fits
// a signed 32-bit int, as FreeFrame frame sizes must).
FrameSize parseSize(const std::string& text);

// A count or other whole number given on the command line (--frames,
// --warmup, --threads, --seed ...): decimal digits only (after a minus sign
// where `min` is negative), from `min` to `max`; anything else is refused
// with one line naming the option and the range.
long parseCount(const std::string& text, const std::string& option, long min, long max);

// The largest counts vyrhost honours: a billion frames is more than a year
// of video at 30 frames per second; bench keeps every frame's time, so its
// timed frames are limited to what fits comfortably in memory (80 MB).
constexpr long kMaxFrames = 1000000000;
constexpr long kMaxBenchFrames = 10000000;
constexpr long kMaxWarmup = 1000000000;

// A parameter value: a finite number in 0..1.
float parseParamValue(const std::string& text, const std::string& what);

// --set "Name=0.9" (to == from) or --ramp "Name=0:1". The key is a name or
// an index; it is resolved against a plug-in later.
struct ParamSetting {
    std::string key;
    float from = 0.0f, to = 0.0f;
    bool ramp = false;
};
ParamSetting parseSet(const std::string& text);
ParamSetting parseRamp(const std::string& text);

// The value of a setting at frame `frame` of a clip of `frames` frames: a
// straight line from `from` at the first frame to exactly `to` at the last.
float settingValue(const ParamSetting& s, long frame, long frames);

enum class OutputKind {
    Png,
    PngSequence,
    Video,
    RawStdout
};

// "-" is raw frames on standard output; a name with one %d-style field
// (out_%04d.png) a PNG sequence; a name ending in .png one PNG; anything
// else a video file whose container follows the extension.
OutputKind classifyOutput(const std::string& path);

// The file name of frame `index` of a sequence pattern.
std::string sequenceFileName(const std::string& pattern, long index);

// The file an output name without a %d field stands for: "%%" is a
// percent sign, as in a sequence pattern.
std::string plainOutputName(const std::string& path);

// How long a render runs.
struct ClipLength {
    long frames = 0;      // frames to render; -1: every frame of the input clip
    long rampFrames = 0;  // frames that ramps span: `frames`, or the input's length (< 1 when unknown)
};

// The clip's length: as asked (`askedFrames`, else the parameter file's
// `fileFrames`; 0 when not given); else one frame for a single PNG; else the
// whole input when it is a clip of `inputFrames` frames; else a short clip.
// Throws when ramps need the length of an input that does not tell it.
ClipLength clipLength(long askedFrames, long fileFrames, OutputKind kind, bool inputIsClip, long inputFrames,
                      bool hasRamps, const std::string& input);

// Frames per second: a positive number or a fraction such as 30000/1001.
struct Rate {
    int num = 30, den = 1;
};
Rate parseRate(const std::string& text);

}  // namespace vyrhost
