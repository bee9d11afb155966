#include "frame_source.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host_error.h"
#include "plugin_folder.h"

namespace vyrhost {

void drawTestPicture(uint8_t* pixels, int width, int height, int bytesPerPixel, long index) {
    // 75 % bars: white, yellow, cyan, green, magenta, red, blue (as B, G, R).
    static const uint8_t bars[7][3] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                       {191, 0, 191},   {0, 0, 191},   {191, 0, 0}};
    const int barsBottom = height * 2 / 3;
    const long period = 120;
    const int radius = std::max(1, height / 8);
    // The disc's centre runs from the left edge to the right edge and back.
    const long phase = index % period;
    const long half = period / 2;
    const long travel = phase < half ? phase : period - phase;
    const long cx = travel * (width - 1) / half;
    const long cy = height / 3;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels + size_t(y) * size_t(width) * size_t(bytesPerPixel);
        for (int x = 0; x < width; ++x) {
            uint8_t* p = row + size_t(x) * size_t(bytesPerPixel);
            uint8_t b, g, r;
            if (y < barsBottom) {
                const int bar = int(int64_t(x) * 7 / width);
                b = bars[bar][0];
                g = bars[bar][1];
                r = bars[bar][2];
            } else {
                const uint8_t v = uint8_t(width > 1 ? int64_t(x) * 255 / (width - 1) : 0);
                b = g = r = v;
            }
            const long dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy <= long(radius) * radius) b = g = r = 255;
            p[0] = b;
            p[1] = g;
            p[2] = r;
            if (bytesPerPixel == 4) p[3] = 255;
        }
    }
}

FrameSource::FrameSource(const std::string& path, bool testPicture, int width, int height, int bytesPerPixel,
                         const std::string& pluginDir)
    : kind_(Kind::Black),
      path_(path),
      width_(width),
      height_(height),
      bytesPerPixel_(bytesPerPixel),
      frameBytes_(size_t(width) * size_t(height) * size_t(bytesPerPixel)) {
    if (path.empty()) {
        kind_ = testPicture ? Kind::TestPicture : Kind::Black;
        return;
    }
    if (path.compare(0, 7, "plugin:") == 0) {
        inputPlugin_.reset(new vyrhost::Plugin(resolvePlugin(path.substr(7), pluginDir)));
        if (inputPlugin_->capability(bytesPerPixel == 4 ? 2 : 1) == 0)
            throw HostError("input " + inputPlugin_->name() + " does not take " + std::to_string(bytesPerPixel * 8) +
                            "-bit frames");
        kind_ = Kind::Plugin;
        return;
    }
    openClip();
    // Two frames tell a still picture from a clip.
    for (int i = 0; i < 2; ++i) {
        std::vector<uint8_t> frame(frameBytes_);
        if (!reader_->read(frame.data())) break;
        pending_.push_back(std::move(frame));
    }
    if (pending_.empty()) throw HostError("input " + path + " holds no pictures");
    kind_ = pending_.size() == 1 ? Kind::Still : Kind::Clip;
    if (kind_ == Kind::Still) {
        // A video that gives one frame is most likely cut short; it is used,
        // but the user hears of it.
        if (!reader_->isImage())
            std::fprintf(stderr,
                         "vyrhost: warning: input %s is a video that gave only one frame%s; it is used as a "
                         "still picture\n",
                         path.c_str(),
                         lengthHint_ > 1 ? (" of the " + std::to_string(lengthHint_) + " it announces").c_str() : "");
        reader_.reset();
    }
}

FrameSource::~FrameSource() = default;

std::string inputSize(const std::string& path) {
    if (path.empty() || path.compare(0, 7, "plugin:") == 0) return std::string();
    const VideoReader probe(path, 0, 0, 4);
    return std::to_string(probe.width()) + "x" + std::to_string(probe.height());
}

void FrameSource::restart() {
    switch (kind_) {
        case Kind::Plugin:
            inputInstance_.reset();
            break;
        case Kind::Clip:
            pending_.clear();
            openClip();
            break;
        default:
            break;
    }
}

void FrameSource::warnOfDamage() {
    if (damageReported_) return;
    damageReported_ = true;
    const long read = reader_->framesRead();
    const long lost = lengthHint_ > read ? lengthHint_ - read : reader_->damagedPackets();
    if (lost <= 0 && reader_->damagedPackets() == 0) return;
    std::string line = "vyrhost: warning: input " + path_ + " is damaged: " + std::to_string(lost) + " frame" +
                       (lost == 1 ? "" : "s") + " lost";
    if (lengthHint_ > 0) line += " (" + std::to_string(read) + " of " + std::to_string(lengthHint_) + " decoded)";
    std::fprintf(stderr, "%s\n", line.c_str());
}

void FrameSource::openClip() {
    reader_.reset(new VideoReader(path_, width_, height_, bytesPerPixel_));
    lengthHint_ = reader_->frameCountHint();
    rateNum_ = reader_->rateNum();
    rateDen_ = reader_->rateDen();
}

bool FrameSource::next(uint8_t* pixels, long index, bool loop) {
    switch (kind_) {
        case Kind::Plugin:
            // Created at its first frame, after the instance it feeds, so
            // that a seed gives both the same draws every run.
            if (!inputInstance_) inputInstance_.reset(new Instance(*inputPlugin_, width_, height_, bytesPerPixel_ * 8));
            std::memset(pixels, 0, frameBytes_);
            if (bytesPerPixel_ == 4)
                for (size_t i = 3; i < frameBytes_; i += 4) pixels[i] = 255;
            if (!inputInstance_->processFrame(pixels))
                throw HostError("input " + inputPlugin_->name() + ": processFrame failed at frame " +
                                std::to_string(index));
            return true;
        case Kind::Black:
            std::memset(pixels, 0, frameBytes_);
            if (bytesPerPixel_ == 4)
                for (size_t i = 3; i < frameBytes_; i += 4) pixels[i] = 255;
            return true;
        case Kind::TestPicture:
            drawTestPicture(pixels, width_, height_, bytesPerPixel_, index);
            return true;
        case Kind::Still:
            std::memcpy(pixels, pending_.front().data(), frameBytes_);
            return true;
        case Kind::Clip:
            break;
    }
    if (!pending_.empty()) {
        std::memcpy(pixels, pending_.front().data(), frameBytes_);
        pending_.erase(pending_.begin());
        return true;
    }
    if (reader_->read(pixels)) return true;
    warnOfDamage();
    if (!loop) return false;
    openClip();
    if (!reader_->read(pixels)) throw HostError("input " + path_ + " holds no pictures the second time it is read");
    return true;
}

}  // namespace vyrhost
