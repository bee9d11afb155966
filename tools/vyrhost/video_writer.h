// Encodes frames into a video file with FFmpeg's libraries. The container
// follows the name's extension (.mp4, .mkv, .webm, .mov, .avi, .gif, ...),
// the encoder is the container's default unless one is named. Frames go
// through a libavfilter graph that converts them to the encoder's pixel
// format (with alpha where the encoder has it); for GIF it builds a palette
// from the whole clip first. Sizes a 4:2:0 format cannot carry are padded
// (or scaled) to the next even size, so that the file plays everywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "options.h"

namespace vyrhost {

struct VideoSettings {
    int width = 0, height = 0, bytesPerPixel = 4;
    Rate rate;
    std::string codec;         // encoder name; empty for the container's default
    bool keepAlpha = true;     // 32-bit frames keep alpha where the encoder can carry it
    int crf = -1;              // constant-quality setting; -1 for the encoder's default here
    bool scaleToEven = false;  // sizes 4:2:0 cannot carry are scaled rather than padded
    bool realtime = false;     // a faster encoder setting, to keep up with a live window
};

class VideoWriter {
   public:
    // `formatName` decides the container (its extension counts); the bytes
    // go to `filePath`, which may be a temporary name beside it.
    VideoWriter(const std::string& formatName, const std::string& filePath, const VideoSettings& settings);
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // One frame of BGR(A) pixels.
    void write(const uint8_t* pixels);
    // Flushes the encoder and writes the container's trailer.
    void finish();

    std::string encoderName() const;
    std::string pixelFormatName() const;
    // Set when the picture had to change size for the encoder's pixel
    // format: one line saying so. Empty otherwise.
    std::string sizeNote() const;
    // True when the encoder keeps the frames' alpha.
    bool keepsAlpha() const;
    // True when a written frame had an alpha byte below 255 that this
    // encoder does not keep.
    bool droppedAlpha() const;

   private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace vyrhost
