#include "timed_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Checkpoints start 256 steps (about 4 s) apart; when more than 128 are
// held, every other one goes and the distance doubles. So a scrub costs at
// most one distance of steps, and memory stays below 129 motions (about
// 5 MB for 1024 particles) however long the clip.
constexpr int64_t kFirstInterval = 256;
constexpr size_t kMaxCheckpoints = 128;

}  // namespace

int64_t stepAtTime(double seconds) {
    if (!(seconds > 0.0)) return 0;
    const double step = std::floor(seconds * kStepsPerSecond + kStepSlack);
    if (step >= double(kLastStep)) return kLastStep;
    return int64_t(step);
}

uint32_t seedFromParam(double value) {
    if (!(value > 0.0)) return 0;
    if (value > 1.0) value = 1.0;
    return uint32_t(std::lround(value * kSeedScale));
}

TimedScene::~TimedScene() { deInstantiate(obj_); }

bool TimedScene::build(unsigned width, unsigned height, uint32_t seed) {
    const VideoInfoStruct info = {width, height, ff::kDepth32, 0};
    PlugObj* created = instantiate(&info, RandomSource(seed));
    if (created == nullptr) return false;
    // A new instance starts from the declared defaults, never from defaults
    // another instance's look has published into the library's table.
    for (int i = 0; i < kNumParams; ++i)
        created->setParameter(uint32_t(i),
                              obj_ != nullptr ? obj_->getParameter(uint32_t(i)) : kParamSpecs[i].defaultValue);
    deInstantiate(obj_);
    obj_ = created;
    seed_ = seed;
    start_.step = -1;
    saveMotion(*obj_, start_.motion);
    start_.random = obj_->randomSource;
    checkpoints_.clear();
    interval_ = kFirstInterval;
    current_ = -1;
    lastDrawn_ = -1;
    replayable_ = true;
    obj_->clampParams();
    for (int i = 0; i < kNumParams; ++i) runValues_[i] = obj_->param(i);
    return true;
}

void TimedScene::restore(const Checkpoint& c) {
    restoreMotion(*obj_, c.motion);
    obj_->randomSource = c.random;
    current_ = c.step;
}

// A motion that ran with other values than the current ones is not what a
// replay with the current values gives: its checkpoints are no use to a seek.
void TimedScene::forgetIfValuesChanged() {
    obj_->clampParams();
    bool same = true;
    for (int i = 0; i < kNumParams; ++i) same = same && obj_->param(i) == runValues_[i];
    if (same) return;
    for (int i = 0; i < kNumParams; ++i) runValues_[i] = obj_->param(i);
    // Before step 0 nothing has moved yet.
    replayable_ = current_ < 0;
    checkpoints_.clear();
}

void TimedScene::keepCheckpoint() {
    if (!checkpoints_.empty() && checkpoints_.back().step >= current_) return;
    checkpoints_.push_back(Checkpoint{current_, {}, obj_->randomSource});
    saveMotion(*obj_, checkpoints_.back().motion);
    if (checkpoints_.size() <= kMaxCheckpoints) return;
    interval_ *= 2;
    checkpoints_.erase(std::remove_if(checkpoints_.begin(), checkpoints_.end(),
                                      [this](const Checkpoint& c) { return c.step % interval_ != 0; }),
                       checkpoints_.end());
}

void TimedScene::moveTo(int64_t step) {
    forgetIfValuesChanged();
    if (step < current_) {
        // Backwards: from the latest checkpoint at or before the step, or
        // from the seeded start, replaying with the values now in force.
        const Checkpoint* from = &start_;
        for (const Checkpoint& c : checkpoints_)
            if (c.step <= step) from = &c;
        restore(*from);
        replayable_ = true;
    } else {
        // Forwards past a checkpoint: from there rather than from here.
        const Checkpoint* from = nullptr;
        for (const Checkpoint& c : checkpoints_)
            if (c.step <= step && c.step > current_) from = &c;
        if (from != nullptr) restore(*from);
    }
    while (current_ < step) {
        // Up to the next multiple of the distance, to keep a checkpoint there.
        const int64_t next = replayable_ ? std::min(step, (current_ / interval_ + 1) * interval_) : step;
        obj_->advanceSteps(next - current_);
        current_ = next;
        if (replayable_ && current_ > 0 && current_ % interval_ == 0) keepCheckpoint();
    }
}

int TimedScene::render(int64_t step, const void* input, void* output) {
    const int64_t before = lastDrawn_;
    const int64_t stoodAt = current_;
    moveTo(step);
    if (step == before && stoodAt == step)
        prepareTrail(*obj_, TrailStep::Again);
    else if (step == 0)
        prepareTrail(*obj_, TrailStep::Start);
    else if (before >= 0 && step > before && step - before <= kTrailGapSteps)
        prepareTrail(*obj_, TrailStep::Next);
    else
        prepareTrail(*obj_, TrailStep::Afresh);
    lastDrawn_ = step;
    void* inputs[1] = {const_cast<void*>(input)};
    ProcessFrameCopyStruct copy = {1, inputs, output};
    return obj_->drawFrameCopy(&copy);
}
