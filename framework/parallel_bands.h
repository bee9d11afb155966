// The one way a loop runs on several threads: its items (rows, pixels,
// bytes, particles, table entries) 0..count-1 are cut into bands, and
// body(begin, end) runs once for every band, on one of the threads of the
// plug-ins' own team (thread_team.h: sleeping helpers, bands claimed one at
// a time); the call returns when every band is done.
//
// Why no picture can depend on the number of threads: a body writes only
// what belongs to its own items and reads nothing that another band writes
// during the call, and all the arithmetic of one item is done inside one
// band, in the order the body gives it. So the bands could run in any
// order, on any thread, and leave the same bytes; the split decides only
// who does what, and which thread takes which band is decided afresh on
// every call. Every caller keeps to this, and the reference hashes are
// checked with 1, 2 and 3 threads.
#pragma once

#include <algorithm>
#include <cstdint>

#include "thread_team.h"

// How a loop is cut.
struct BandSplit {
    // 0: a few contiguous bands per thread (the cheapest split for work
    // spread evenly over the items; more than one each, so that a thread
    // the system puts aside holds up little). Otherwise bands of this many
    // items, which evens the load where the work crowds one part of the
    // frame.
    int itemsPerBand;
    // What one item costs, in pixel-sized units of work (a pixel of a
    // per-pixel pass is 1, a row is its width), for the threshold below.
    int64_t itemCost;
};

// Below this much work (about a 128 x 128 picture of per-pixel passes)
// starting a team costs more than the loop; the calling thread does it all.
constexpr int64_t kParallelWorkMinimum = 16384;

// Contiguous bands per thread of the even split.
constexpr int kEvenBandsPerThread = 4;

// The number of threads for a loop of `bands` bands and `work` units: the one
// place where the team size is decided. 1 runs on the calling thread.
inline int bandTeamSize(int bands, int64_t work) {
    if (bands < 2 || work < kParallelWorkMinimum) return 1;
    return std::min(teamThreadLimit(), bands);
}

template <class Body>
void forEachBand(int count, BandSplit split, Body&& body) {
    if (count <= 0) return;
    const int64_t work = static_cast<int64_t>(count) * split.itemCost;
    const int64_t size = split.itemsPerBand;
    if (size > 0) {
        const int bands = static_cast<int>((count + size - 1) / size);
        auto band = [&](int b) {
            const int begin = static_cast<int>(b * size);
            body(begin, static_cast<int>(std::min<int64_t>(begin + size, count)));
        };
        runOnTeam(bands, bandTeamSize(bands, work), band);
        return;
    }
    const int team = bandTeamSize(count, work);
    if (team <= 1) {
        body(0, count);
        return;
    }
    const int bands = static_cast<int>(std::min<int64_t>(int64_t(team) * kEvenBandsPerThread, count));
    auto band = [&](int b) {
        body(static_cast<int>(static_cast<int64_t>(count) * b / bands),
             static_cast<int>(static_cast<int64_t>(count) * (b + 1) / bands));
    };
    runOnTeam(bands, team, band);
}
