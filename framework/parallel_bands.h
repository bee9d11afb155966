// The one way a loop runs on several threads: its items (rows, pixels,
// bytes, particles, table entries) 0..count-1 are cut into bands, and
// body(begin, end) runs once for every band, each on one thread of an
// OpenMP team with a static schedule; the call returns when every band is
// done.
//
// Why no picture can depend on the number of threads: a body writes only
// what belongs to its own items and reads nothing that another band writes
// during the call, and all the arithmetic of one item is done inside one
// band, in the order the body gives it. So the bands could run in any
// order, on any thread, and leave the same bytes; the split decides only
// who does what. (The static schedules make the split the same on every
// call, which keeps each thread on the memory it touched last frame, but the
// result does not rely on it.) Every caller keeps to this, and the reference
// hashes are checked with 1, 2 and 3 threads.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstdint>

// How a loop is cut.
struct BandSplit {
    // 0: one contiguous band per thread (the cheapest split for work spread
    // evenly over the items). Otherwise bands of this many items, dealt to
    // the threads in turn, which evens the load where the work crowds one
    // part of the frame.
    int itemsPerBand;
    // What one item costs, in pixel-sized units of work (a pixel of a
    // per-pixel pass is 1, a row is its width), for the threshold below.
    int64_t itemCost;
};

// Below this much work (about a 128 x 128 picture of per-pixel passes)
// starting a team costs more than the loop; the calling thread does it all.
constexpr int64_t kParallelWorkMinimum = 16384;

// The number of threads for a loop of `bands` bands and `work` units: the one
// place where the team size is decided. 1 runs on the calling thread.
inline int bandTeamSize(int bands, int64_t work) {
    if (bands < 2 || work < kParallelWorkMinimum) return 1;
    return std::min(omp_get_max_threads(), bands);
}

template <class Body>
void forEachBand(int count, BandSplit split, Body&& body) {
    if (count <= 0) return;
    const int64_t work = static_cast<int64_t>(count) * split.itemCost;
    if (split.itemsPerBand > 0) {
        const int64_t size = split.itemsPerBand;
        const int bands = static_cast<int>((count + size - 1) / size);
        const int team = bandTeamSize(bands, work);
#pragma omp parallel for schedule(static, 1) num_threads(team) if (team > 1)
        for (int b = 0; b < bands; ++b) {
            const int begin = static_cast<int>(b * size);
            body(begin, static_cast<int>(std::min<int64_t>(begin + size, count)));
        }
        return;
    }
    const int team = bandTeamSize(count, work);
    if (team <= 1) {
        body(0, count);
        return;
    }
#pragma omp parallel for schedule(static) num_threads(team)
    for (int b = 0; b < team; ++b)
        body(static_cast<int>(static_cast<int64_t>(count) * b / team),
             static_cast<int>(static_cast<int64_t>(count) * (b + 1) / team));
}
