// The grey output of VyrGlobHeap1: one row of counters turned into pixels.
#pragma once

#include <cstdint>

// Turns one row of counters (0..1024) into grey pixels of B bytes (alpha
// 255 when B is 4), with grain of amount 0..128 from the row's window of
// noise bytes.
void shadeRow(const int32_t* counters, const uint8_t* noise, int noiseAmount, uint8_t* pixels, int w, int B);
