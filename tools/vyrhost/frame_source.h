// What an instance is given as its input frame, frame after frame: a
// decoded image, image sequence or video (looped when the clip asks for more
// frames than it has), the built-in test picture, or opaque black.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "video_reader.h"

namespace vyrhost {

// The built-in test picture of frame `index`: colour bars over a grey ramp,
// with a white disc that crosses the picture every 120 frames so that
// effects show motion.
void drawTestPicture(uint8_t* pixels, int width, int height, int bytesPerPixel, long index);

class FrameSource {
   public:
    enum class Kind { Black, TestPicture, Still, Clip };

    // An empty path gives the test picture when `testPicture`, else black.
    FrameSource(const std::string& path, bool testPicture, int width, int height, int bytesPerPixel);

    Kind kind() const { return kind_; }
    // For a clip: the frames the container announces, -1 when unknown.
    long lengthHint() const { return lengthHint_; }
    int rateNum() const { return rateNum_; }
    int rateDen() const { return rateDen_; }

    // Writes input frame `index` (counting from 0, called in order). A clip
    // that has run out starts again from its beginning when `loop`, and
    // otherwise answers false.
    bool next(uint8_t* pixels, long index, bool loop);

   private:
    void openClip();

    Kind kind_;
    std::string path_;
    int width_, height_, bpp_;
    size_t frameBytes_;
    std::unique_ptr<VideoReader> reader_;
    std::vector<std::vector<uint8_t>> pending_;  // decoded ahead, oldest first
    long lengthHint_ = -1;
    int rateNum_ = 0, rateDen_ = 0;
};

}  // namespace vyrhost
