// VyrBrushDrift1's hot loops, each compiled once per instruction-set path
// (vyr_isa_kernels; VYR_PICK_ISA_KERNEL takes the active one). Every path
// computes the portable build's bytes exactly.
#pragma once

#include <cstdint>

#include "isa.h"

// dot_kernels.cpp. Paints pixels 0..count-1 of a row span (canvas cells of 4
// bytes, coverage bytes) with the kernel weight w = kernelRow[(u + i x step)
// >> 16], at most 255: each colour byte moves towards (c0, c1, c2) by w/256,
// rounding toward minus infinity, and coverage grows by (w x strength) >> 16
// (strength at most 65536) up to 255.
VYR_DECLARE_ISA_KERNEL(void, paintDotSpan,
                       (uint8_t * canvas, uint8_t* coverage, const int32_t* kernelRow, int count, int32_t u,
                        int32_t step, int32_t c0, int32_t c1, int32_t c2, int32_t strength))
// dot_kernels.cpp. Pixels begin..end-1 of workFrame: the canvas colour times
// coverage / 256, alpha by alphaMode (255, the weighted canvas alpha, the
// input's alpha).
VYR_DECLARE_ISA_KERNEL(void, weightByCoverage,
                       (uint8_t * work, const uint8_t* canvas, const uint8_t* coverage, const uint8_t* input,
                        int bytesPerPixel, int alphaMode, int begin, int end))
// dot_kernels.cpp. Cells 0..count-1 of the canvas set to one 4-byte cell.
VYR_DECLARE_ISA_KERNEL(void, fillCells, (uint8_t * cells, int count, uint32_t cell))
// swirl_kernels.cpp. Output row y of the brightness-band swirl from the
// whole of workFrame (see swirlValueBand); zq and full give the zoom.
VYR_DECLARE_ISA_KERNEL(void, swirlRow,
                       (const uint8_t* work, uint8_t* out, int width, int height, int y, int bytesPerPixel,
                        const int32_t* third, int32_t centre, int32_t range, int32_t zq, int32_t full, int32_t sn,
                        int32_t cs))
// swirl_kernels.cpp. A row of count 4-byte pixels of the output blended with
// the trail (weight feedback, 0..255), alpha kept or made opaque, and the
// result left in both.
VYR_DECLARE_ISA_KERNEL(void, blendTrailRow, (uint8_t * out, uint8_t* trail, int count, int feedback, bool opaque))
