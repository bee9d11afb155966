// The most a pixel's counter can hold when blobs are stamped into it:
// white, a little over three overlapping blob centres. A header of its own,
// so that the instruction-set kernels share it without pulling in inline
// code that would be compiled for their instruction set.
#pragma once

#include <cstdint>

constexpr int32_t kCounterLimit = 1024;
