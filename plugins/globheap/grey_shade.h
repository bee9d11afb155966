// The grey output of VyrGlobHeap1: one row of counters turned into pixels.
#pragma once

#include <cstdint>

// Turns one row of counters (0..1024) into grey pixels of 3 or 4 bytes
// (alpha 255 when 4), with grain of amount 0..128 from the row's window of
// noise bytes.
void shadeRow(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w,
              int bytesPerPixel);
