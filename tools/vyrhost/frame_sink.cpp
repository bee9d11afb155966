#include "frame_sink.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host_error.h"
#include "png_io.h"
#include "video_writer.h"

namespace vyrhost {

namespace {

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A name beside `path` that no other vyrhost run uses.
std::string temporaryName(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + base + ".part-" + std::to_string(getpid());
}

// Removes the temporary files that killed runs (SIGKILL, a power cut) left
// beside `output`: ".<name>.part-<pid>" whose process is gone. `sequence`:
// `output` is a pattern and <name> any of its frames.
void removeStaleParts(const std::string& output, bool sequence) {
    const std::string dir = directoryOf(output);
    const size_t slash = output.rfind('/');
    const std::string base = slash == std::string::npos ? output : output.substr(slash + 1);
    const size_t field = sequence ? base.find('%') : std::string::npos;
    const std::string prefix = "." + base.substr(0, field);
    std::string suffix;
    if (sequence) {
        const size_t d = base.find('d', field);
        suffix = d == std::string::npos ? std::string() : base.substr(d + 1);
    }
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) return;
    while (const dirent* e = readdir(folder)) {
        const std::string name = e->d_name;
        const size_t part = name.rfind(".part-");
        if (part == std::string::npos || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(part + 6);
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stem = name.substr(0, part);
        if (sequence ? stem.size() < prefix.size() + suffix.size() ||
                           stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) != 0
                     : stem != prefix)
            continue;
        const pid_t owner = pid_t(std::stol(digits));
        if (owner == getpid() || kill(owner, 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        unlink((dir + "/" + name).c_str());
    }
    closedir(folder);
}

[[noreturn]] void cannotWrite(const std::string& path, int err) {
    throw HostError("cannot write " + path + ": " + std::strerror(err));
}

// Creates `temp` (to learn early whether the output can be written).
void claim(const std::string& temp, const std::string& finalName) {
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) cannotWrite(finalName, errno);
    close(fd);
}

void publish(const std::string& temp, const std::string& finalName) {
    if (std::rename(temp.c_str(), finalName.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        cannotWrite(finalName, err);
    }
}

class PngSink : public FrameSink {
   public:
    explicit PngSink(const SinkSettings& s) : s_(s), temp_(temporaryName(s.output)) {
        removeStaleParts(s.output, false);
        claim(temp_, s.output);
        last_.resize(size_t(s.width) * size_t(s.height) * size_t(s.bytesPerPixel));
    }
    ~PngSink() override {
        if (!done_) unlink(temp_.c_str());
    }
    // Only the last frame of the clip is kept.
    void write(const uint8_t* pixels) override {
        std::memcpy(last_.data(), pixels, last_.size());
        ++frames_;
    }
    void finish() override {
        if (frames_ == 0) throw HostError("no frame was rendered, " + s_.output + " was not written");
        writePng(temp_, last_.data(), s_.width, s_.height, s_.bytesPerPixel, s_.keepAlpha);
        publish(temp_, s_.output);
        done_ = true;
    }
    std::string abandon() override {
        unlink(temp_.c_str());
        done_ = true;
        return s_.output + " was not written";
    }
    std::string describe() const override { return s_.output; }
    std::string temporaryPath() const override { return temp_; }
    std::string crashNote() const override { return s_.output + " was not written"; }
    bool keepsPartial() const override { return false; }

   private:
    SinkSettings s_;
    std::string temp_;
    std::vector<uint8_t> last_;
    long frames_ = 0;
    bool done_ = false;
};

class PngSequenceSink : public FrameSink {
   public:
    explicit PngSequenceSink(const SinkSettings& s) : s_(s) {
        const std::string dir = directoryOf(s.output);
        if (access(dir.c_str(), W_OK | X_OK) != 0) cannotWrite(s.output, errno);
        removeStaleParts(s.output, true);
    }
    void write(const uint8_t* pixels) override {
        const std::string name = sequenceFileName(s_.output, long(written_.size()));
        const std::string temp = temporaryName(name);
        try {
            writePng(temp, pixels, s_.width, s_.height, s_.bytesPerPixel, s_.keepAlpha);
        } catch (...) {
            unlink(temp.c_str());
            throw;
        }
        publish(temp, name);
        written_.push_back(name);
    }
    void finish() override {}
    std::string abandon() override {
        for (const auto& name : written_) unlink(name.c_str());
        const size_t n = written_.size();
        written_.clear();
        if (n == 0) return "no frame was written";
        return "removed the " + std::to_string(n) + " frame" + (n == 1 ? "" : "s") + " already written";
    }
    std::string describe() const override {
        const size_t n = written_.size();
        if (n == 0) return s_.output + " (no frames)";
        if (n == 1) return written_.front();
        return written_.front() + " .. " + written_.back();
    }
    std::string temporaryPath() const override {
        return temporaryName(sequenceFileName(s_.output, long(written_.size())));
    }
    std::string crashNote() const override { return "the frames written before it were removed"; }
    std::string lastWritten() const override { return written_.empty() ? std::string() : written_.back(); }

   private:
    SinkSettings s_;
    std::vector<std::string> written_;
};

class VideoSink : public FrameSink {
   public:
    explicit VideoSink(const SinkSettings& s) : s_(s), temp_(temporaryName(s.output)) {
        removeStaleParts(s.output, false);
        try {
            VideoSettings vs;
            vs.width = s.width;
            vs.height = s.height;
            vs.bytesPerPixel = s.bytesPerPixel;
            vs.rate = s.rate;
            vs.codec = s.codec;
            vs.keepAlpha = s.keepAlpha;
            vs.crf = s.crf;
            vs.scaleToEven = s.scaleToEven;
            vs.realtime = s.realtime;
            writer_.reset(new VideoWriter(s.output, temp_, vs));
        } catch (...) {
            unlink(temp_.c_str());
            throw;
        }
    }
    ~VideoSink() override {
        writer_.reset();
        if (!done_) unlink(temp_.c_str());
    }
    void write(const uint8_t* pixels) override {
        writer_->write(pixels);
        ++frames_;
    }
    void finish() override {
        if (frames_ == 0) throw HostError("no frame was rendered, " + s_.output + " was not written");
        writer_->finish();
        publish(temp_, s_.output);
        done_ = true;
    }
    std::string abandon() override {
        writer_.reset();
        unlink(temp_.c_str());
        done_ = true;
        return s_.output + " was not written";
    }
    std::string describe() const override {
        return s_.output + " (" + writer_->encoderName() + ", " + writer_->pixelFormatName() + ")";
    }
    std::string startNote() const override { return writer_->sizeNote(); }
    std::string endNote() const override {
        if (!writer_->droppedAlpha()) return std::string();
        return "the frames' alpha is not kept: " + writer_->encoderName() +
               " has none (.mkv with --codec ffv1, .mov with --codec qtrle or prores_ks, and .webm keep it)";
    }
    std::string temporaryPath() const override { return temp_; }
    std::string crashNote() const override { return s_.output + " was not written"; }

   private:
    SinkSettings s_;
    std::string temp_;
    std::unique_ptr<VideoWriter> writer_;
    long frames_ = 0;
    bool done_ = false;
};

class RawSink : public FrameSink {
   public:
    explicit RawSink(const SinkSettings& s) : bytes_(size_t(s.width) * size_t(s.height) * size_t(s.bytesPerPixel)) {
        if (isatty(STDOUT_FILENO))
            throw HostError("refusing to write raw frames to a terminal: pipe them into a program or give a file name");
        format_ = s.bytesPerPixel == 4 ? "bgra" : "bgr24";
        size_ = std::to_string(s.width) + "x" + std::to_string(s.height);
    }
    void write(const uint8_t* pixels) override {
        size_t done = 0;
        while (done < bytes_) {
            const ssize_t n = ::write(STDOUT_FILENO, pixels + done, bytes_ - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int err = errno;
                throw HostError("cannot write to standard output after " + std::to_string(frames_) +
                                " frames: " + std::strerror(err));
            }
            done += size_t(n);
        }
        ++frames_;
    }
    void finish() override {}
    std::string abandon() override {
        return std::to_string(frames_) + " whole frame" + (frames_ == 1 ? " had" : "s had") +
               " already gone to standard output";
    }
    std::string describe() const override { return "standard output (raw " + format_ + ", " + size_ + ")"; }
    std::string crashNote() const override { return "the frames before it had gone to standard output"; }

   private:
    size_t bytes_;
    long frames_ = 0;
    std::string format_, size_;
};

}  // namespace

std::unique_ptr<FrameSink> openSink(const SinkSettings& settings) {
    SinkSettings plain = settings;
    switch (classifyOutput(settings.output)) {
        case OutputKind::Png:
            plain.output = plainOutputName(settings.output);
            return std::unique_ptr<FrameSink>(new PngSink(plain));
        case OutputKind::PngSequence:
            return std::unique_ptr<FrameSink>(new PngSequenceSink(settings));
        case OutputKind::Video:
            plain.output = plainOutputName(settings.output);
            return std::unique_ptr<FrameSink>(new VideoSink(plain));
        case OutputKind::RawStdout:
            break;
    }
    return std::unique_ptr<FrameSink>(new RawSink(settings));
}

}  // namespace vyrhost
