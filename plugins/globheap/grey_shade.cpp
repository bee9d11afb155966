// The grey output of VyrGlobHeap1.
#include "grey_shade.h"

#include <algorithm>

void shadeRow(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
              int bytesPerPixel) {
    const int centre = noiseAmount >> 1;  // grain adds -n/2 .. about +n/2
    for (int x = 0; x < w; ++x) {
        const int a = counters[x] >> 2;  // 0..256
        int g;
        if (noiseAmount < 1) {
            g = std::min(a, 255);
        } else {
            g = a - centre + ((noise[x] * noiseAmount) >> 8);
            g = std::clamp(g, 0, 255);
        }
        uint8_t* px = pixels + x * bytesPerPixel;
        px[0] = px[1] = px[2] = static_cast<uint8_t>(g);
        if (bytesPerPixel == 4) px[3] = 255;
    }
}
