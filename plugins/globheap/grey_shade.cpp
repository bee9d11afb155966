// The grey output of VyrGlobHeap1: the active instruction-set path's build.
#include "grey_shade.h"

void shadeRow(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
              int bytesPerPixel) {
    VYR_PICK_ISA_KERNEL(shadeRow)(counters, noise, noiseAmount, pixels, w, bytesPerPixel);
}

void shadeRow(const uint16_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
              int bytesPerPixel) {
    VYR_PICK_ISA_KERNEL(shadeRow16)(counters, noise, noiseAmount, pixels, w, bytesPerPixel);
}
