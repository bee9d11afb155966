// Encodes frames into a video file with FFmpeg's libraries. The container
// follows the name's extension (.mp4, .mkv, .webm, .mov, .avi, .gif, ...),
// the encoder is the container's default unless one is named. Frames go
// through a libavfilter graph that converts them to the encoder's pixel
// format; for GIF it builds a palette from the whole clip first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "options.h"

namespace vyrhost {

class VideoWriter {
   public:
    // `formatName` decides the container (its extension counts); the bytes
    // go to `filePath`, which may be a temporary name beside it.
    VideoWriter(const std::string& formatName, const std::string& filePath, int width, int height,
                int bytesPerPixel, Rate rate, const std::string& codecName);
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // One frame of BGR(A) pixels; alpha is not kept in video files.
    void write(const uint8_t* pixels);
    // Flushes the encoder and writes the container's trailer.
    void finish();

    std::string encoderName() const;

   private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace vyrhost
