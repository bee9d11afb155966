#include "png_io.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "host_error.h"

namespace vyrhost {

void writePng(const std::string& path, const uint8_t* pixels, int width, int height, int bytesPerPixel,
              bool keepAlpha) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    std::vector<uint8_t> packed;
    const uint8_t* rows = pixels;
    if (bytesPerPixel == 4 && keepAlpha) {
        image.format = PNG_FORMAT_BGRA;
    } else {
        image.format = PNG_FORMAT_BGR;
        if (bytesPerPixel == 4) {
            const size_t n = size_t(width) * size_t(height);
            packed.resize(n * 3);
            for (size_t i = 0; i < n; ++i) std::memcpy(&packed[i * 3], pixels + i * 4, 3);
            rows = packed.data();
        }
    }
    if (!png_image_write_to_file(&image, path.c_str(), 0, rows, 0, nullptr)) {
        const std::string why = image.message;
        png_image_free(&image);
        throw HostError("cannot write " + path + ": " + why);
    }
}

}  // namespace vyrhost
