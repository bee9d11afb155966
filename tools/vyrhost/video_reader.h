// Decodes pictures with FFmpeg's libraries: a still image, a numbered image
// sequence (in_%04d.png) or a video file, each frame scaled to a fixed size
// and converted to the plug-ins' byte order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vyrhost {

// Inputs beyond this many pixels per picture are refused, unless allowed:
// a small file can decode to a picture of gigabytes (a 12000x12000 PNG
// takes over 600 MB and many seconds), and 50 megapixels is well above 8K
// video (33 megapixels).
constexpr long kMaxInputPixels = 50000000;
void allowLargeInputs(bool allow);

class VideoReader {
   public:
    // bytesPerPixel 4 gives BGRA (alpha 255 where the source has none), 3 BGR.
    // Width and height 0 keep the input's own size.
    VideoReader(const std::string& path, int width, int height, int bytesPerPixel);
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // Decodes the next frame into `pixels` (width x height x bytesPerPixel
    // bytes); false at the end of the input.
    bool read(uint8_t* pixels);

    // Frames the container announces (or its duration implies); -1 when unknown.
    long frameCountHint() const;
    // Frames decoded so far, and packets skipped because they were damaged.
    long framesRead() const;
    long damagedPackets() const;
    // Whether the input is a picture or numbered pictures, not a video.
    bool isImage() const;
    // The size frames are delivered at.
    int width() const;
    int height() const;
    // The stream's frame rate as num/den; den 0 when unknown.
    int rateNum() const;
    int rateDen() const;

   private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace vyrhost
