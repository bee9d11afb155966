// A frei0r instance's scene addressed by time: the picture for host time t
// is the scene after a fixed number of motion steps from its seeded start,
// whatever frames the host asked for before, and in whatever order.
#pragma once

#include <cstdint>
#include <vector>

#include "plug_obj.h"

// The motion runs at 60 steps per second of host time, whatever the
// project's frame rate: a 60 fps frame shows every step, 30 fps every second
// one, 25 and 50 fps two or three and one or two in turn, and no frame rate
// up to 60 shows a picture twice.
constexpr double kStepsPerSecond = 60.0;
// Frame n of a host at a rate in frames per second takes the step at or
// before n x 60 / rate. The 1/16 of a step of slack absorbs hosts that round
// their times (ffmpeg to milliseconds, GStreamer to nanoseconds, Gem to frames).
constexpr double kStepSlack = 1.0 / 16.0;
// Times beyond 24 hours show the picture at 24 hours, so that no time a host
// passes can hold it in a seek without end.
constexpr int64_t kLastStep = int64_t(24 * 3600 * kStepsPerSecond);
// A frame counts as following the one drawn last when it comes at most this
// many steps later (a twentieth of a second); only then does VyrBrushDrift1's
// trail go on from the last picture.
constexpr int64_t kTrailGapSteps = 3;

// The step whose picture shows at host time `seconds`; 0 for times at or
// before 0 and for NaN.
int64_t stepAtTime(double seconds);

// The seed a "Seed" value (0..1) stands for: round(value x 1000000), so 0
// gives the sequence of srand(0), which the C library makes that of srand(1).
uint32_t seedFromParam(double value);
constexpr double kSeedScale = 1000000.0;

class TimedScene {
   public:
    TimedScene() = default;
    ~TimedScene();
    TimedScene(const TimedScene&) = delete;
    TimedScene& operator=(const TimedScene&) = delete;

    // Builds the scene for w x h 32-bit frames from `seed`, keeping the
    // parameter values of the scene it replaces (or the declared defaults).
    // False, with the old scene kept, when the size or memory is refused.
    bool build(unsigned width, unsigned height, uint32_t seed);
    uint32_t seed() const { return seed_; }
    PlugObj& obj() { return *obj_; }

    // Draws the picture of `step` from `input` (which may be `output`) into
    // `output`; 0, or -1 with a black output.
    int render(int64_t step, const void* input, void* output);

    // Motion checkpoints held, and steps between them (for tests and
    // measurements).
    size_t checkpointCount() const { return checkpoints_.size(); }
    int64_t checkpointInterval() const { return interval_; }

   private:
    struct Checkpoint {
        int64_t step;
        SceneMotion motion;
        RandomSource random;
    };

    void moveTo(int64_t step);
    void restore(const Checkpoint& c);
    void forgetIfValuesChanged();
    void keepCheckpoint();

    PlugObj* obj_ = nullptr;
    uint32_t seed_ = 0;
    Checkpoint start_ = {};                // the scene as created: before step 0
    std::vector<Checkpoint> checkpoints_;  // ascending steps, multiples of interval_
    int64_t interval_ = 0;
    int64_t current_ = -1;  // the step the scene stands at; -1 before step 0
    int64_t lastDrawn_ = -1;
    // Whether the motion since the seeded start ran with `runValues_` from
    // step 0 on, so that it equals a replay with those values and may be
    // kept in checkpoints.
    bool replayable_ = true;
    float runValues_[kNumParams] = {};
};
