// The plug-ins' own worker threads. Hosts run plug-ins next to threads of
// their own (decoders, encoders, other filters) and often on a busy
// machine; OpenMP's worker threads spin after every parallel loop, taking a
// core from the host, and its static schedules make a whole loop wait for a
// thread the system has put aside. Either made two threads slower than one.
// So the plug-ins keep a team of their own, chosen here and nowhere else:
// - idle helpers sleep (they never spin), so the host keeps its cores;
// - the calling thread works too, and bands are claimed one at a time, so
//   a helper that is late or descheduled only means the others take more;
// - a loop inside a host's OpenMP parallel region, inside another team
//   loop, or started while another host thread's loop has the team, runs
//   on the calling thread alone.
// The host's OpenMP settings are read (its thread count), never changed.
#pragma once

#include <type_traits>

// The most threads a team loop uses, the caller included (more would only
// wait for memory on the machines the plug-ins run on; it also bounds what
// a wrong OMP_NUM_THREADS can start).
constexpr int kMaxTeamThreads = 64;

// How many threads a loop may use: the host's OpenMP thread count (so that
// OMP_NUM_THREADS and omp_set_num_threads keep working; by default the
// number of CPUs), and 1 inside a host's own parallel region or a team loop.
int teamThreadLimit();

// Runs body(context, band) once for every band 0..bands-1 on up to
// `threads` threads (the caller included) and returns when all are done.
// Bands may run in any order and on any thread.
void runOnTeam(int bands, int threads, void (*body)(void* context, int band), void* context);

// Forgets what earlier loops found about the helpers' pace (loops they
// slowed down send the next ones to the caller alone): the next loop takes
// the helpers again. For tests that need the helpers at a given moment.
void resetTeamPace();

template <class Body>
void runOnTeam(int bands, int threads, Body& body) {
    using B = std::remove_reference_t<Body>;
    runOnTeam(
        bands, threads, [](void* context, int band) { (*static_cast<B*>(context))(band); },
        const_cast<void*>(static_cast<const void*>(&body)));
}
