// PNG files through libpng's simplified interface, in the plug-ins' byte
// order (blue, green, red[, alpha]).
#pragma once

#include <cstdint>
#include <string>

namespace vyrhost {

// Writes a frame of `bytesPerPixel` 3 (BGR) or 4 (BGRA) bytes per pixel.
// With keepAlpha false a 4-byte frame is written without its alpha byte.
// Throws HostError naming the file when it cannot be written.
void writePng(const std::string& path, const uint8_t* pixels, int width, int height, int bytesPerPixel, bool keepAlpha);

}  // namespace vyrhost
