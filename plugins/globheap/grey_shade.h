// The grey output of VyrGlobHeap1: one row of counters turned into pixels.
#pragma once

#include <cstdint>

#include "isa.h"

// Turns one row of counters (0..1024) into grey pixels of 3 or 4 bytes
// (alpha 255 when 4): counter / 4, clipped at 255; with grain of amount
// 1..128, byte n of the row's window of noise bytes adds
// (n x amount) >> 8 - amount / 2 and the grey is clipped to 0..255.
void shadeRow(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
              int bytesPerPixel);
// The same from 16-bit counters.
void shadeRow(const uint16_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
              int bytesPerPixel);

// shadeRow's builds, one per instruction-set path (grey_shade_kernels.cpp).
VYR_DECLARE_ISA_KERNEL(void, shadeRow,
                       (const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
                        int bytesPerPixel))
VYR_DECLARE_ISA_KERNEL(void, shadeRow16,
                       (const uint16_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
                        int bytesPerPixel))
