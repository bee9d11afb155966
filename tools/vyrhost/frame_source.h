// What an instance is given as its input frame, frame after frame: a
// decoded image, image sequence, video (looped when the clip asks for more
// frames than it has) or V4L2 camera (/dev/videoN), the frames of another
// plug-in ("plugin:NAME", so that a source feeds an effect), the built-in
// test picture, or opaque black.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host_error.h"
#include "video_reader.h"

namespace vyrhost {

// The built-in test picture of frame `index`: colour bars over a grey ramp,
// with a white disc that crosses the picture every 120 frames so that
// effects show motion.
void drawTestPicture(uint8_t* pixels, int width, int height, int bytesPerPixel, long index);

// The size of an input file or camera, as "WxH" within vyrhost's limits;
// empty for inputs without a size of their own (plug-ins, no input).
std::string inputSize(const std::string& path);

class FrameSource {
   public:
    enum class Kind {
        Black,
        TestPicture,
        Still,
        Clip,
        Plugin
    };

    // An empty path gives the test picture when `testPicture`, else black.
    // "plugin:NAME" names a plug-in as `pluginDir` finds it.
    FrameSource(const std::string& path, bool testPicture, int width, int height, int bytesPerPixel,
                const std::string& pluginDir = std::string());
    ~FrameSource();

    Kind kind() const { return kind_; }
    // For a clip: the frames the container announces, -1 when unknown.
    long lengthHint() const { return lengthHint_; }
    int rateNum() const { return rateNum_; }
    int rateDen() const { return rateDen_; }

    // Writes input frame `index` (counting from 0, called in order). A clip
    // that has run out starts again from its beginning when `loop`, and
    // otherwise answers false.
    bool next(uint8_t* pixels, long index, bool loop);

    // Starts again from the input's first frame (a plug-in input with a
    // fresh instance, created at the next frame from the C library's
    // generator as it then stands).
    void restart();

   private:
    void openClip();

    Kind kind_;
    std::string path_;
    int width_, height_, bytesPerPixel_;
    size_t frameBytes_;
    std::unique_ptr<VideoReader> reader_;
    bool damageReported_ = false;
    // Once, at the clip's first end: one line when frames were lost.
    void warnOfDamage();
    std::vector<std::vector<uint8_t>> pending_;  // decoded ahead, oldest first
    std::unique_ptr<vyrhost::Plugin> inputPlugin_;
    std::unique_ptr<Instance> inputInstance_;
    long lengthHint_ = -1;
    int rateNum_ = 0, rateDen_ = 0;
};

}  // namespace vyrhost
