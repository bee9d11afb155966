#include "thread_team.h"

#include <omp.h>
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxHelpers = kMaxTeamThreads - 1;

thread_local bool tInsideTeamLoop = false;

struct Team {
    std::mutex lock;
    std::condition_variable wake;   // helpers: a new loop has started
    std::condition_variable done;   // caller: the last helper has left the loop
    std::atomic<bool> busy{false};  // a loop has the team
    int helpers = 0;                // helper threads started
    std::vector<std::thread> threads;
    bool quit = false;  // the process is exiting
    // The loop in progress, guarded by `lock`, except `next`.
    unsigned generation = 0;
    void (*body)(void*, int) = nullptr;
    void* context = nullptr;
    int bands = 0;
    int wanted = 0;         // helpers still welcome to join
    int active = 0;         // helpers inside the loop
    int64_t helperCpu = 0;  // nanoseconds of CPU time the helpers spent on its bands
    std::atomic<int> next{0};
    // The loaded-machine guard, kept by whichever thread has the team
    // (busy): the loops still to run on the caller alone, and how many the
    // next verdict against the helpers sends there.
    int soloLoops = 0;
    int backoff = 0;
    int64_t balance = 0;  // nanoseconds the helpers saved lately
};

// Each loop weighs its time against what one thread alone would have
// needed. When the helpers have lately cost more than they saved, this many
// loops and more (doubling every time it happens, up to the cap) run on the
// caller alone, without waking anyone; each loop the helpers speed up halves
// the count again. On a quiet machine the helpers pay; on one loaded by
// other programs or a host's own threads, a helper is often put aside in
// the middle of a band while the caller waits for it, or the woken helper
// takes the caller's own core, which is how two threads ended up slower
// than one. The pictures never depend on who runs a band.
constexpr int kFirstBackoff = 4;
// Gains count up to this many nanoseconds, so that a loop losing more (a
// helper put aside for a whole time slice of the system's scheduler)
// outweighs any run of good ones; a constant, so that a frame's small loops
// do not wipe out what its large ones saved.
constexpr int64_t kMaxBalance = 4000000;
constexpr int kMaxBackoff = 256;

Team* team() {
    // Never destroyed: helpers may still be asleep in it while the process
    // exits, and the libraries are never unloaded.
    static Team* const t = new Team;
    return t;
}

void claimBands(void (*body)(void*, int), void* context, int bands, std::atomic<int>& next) {
    for (int b = next.fetch_add(1, std::memory_order_relaxed); b < bands;
         b = next.fetch_add(1, std::memory_order_relaxed))
        body(context, b);
}

// Nanoseconds of wall time, and of the calling thread's CPU time.
int64_t wallNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
int64_t threadCpuNs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// What the helpers saved on a loop, in nanoseconds (negative: what they
// cost): one thread alone would have needed about the CPU time that all of
// them spent on its bands, and the loop took `loopWall` (waiting for the
// helpers' last bands included). CPU time, because the wall time of a thread
// the system puts aside would make any wait look cheap.
int64_t helpersSaved(int64_t bandsCpu, int64_t loopWall) { return bandsCpu - loopWall; }

// `seen` is the generation when the helper was started: a loop that begins
// before the new thread first runs is still one it must look at.
void helperLoop(Team* t, unsigned seen) {
    tInsideTeamLoop = true;
    std::unique_lock<std::mutex> lk(t->lock);
    for (;;) {
        t->wake.wait(lk, [&] { return t->generation != seen || t->quit; });
        if (t->quit) return;
        seen = t->generation;
        if (t->wanted == 0) continue;  // enough helpers, or the loop is over
        --t->wanted;
        ++t->active;
        void (*body)(void*, int) = t->body;
        void* context = t->context;
        const int bands = t->bands;
        lk.unlock();
        const int64_t cpu = threadCpuNs();
        claimBands(body, context, bands, t->next);
        const int64_t spent = threadCpuNs() - cpu;
        lk.lock();
        t->helperCpu += spent;
        if (--t->active == 0) t->done.notify_one();
    }
}

// At exit the helpers are woken and joined, so that no thread of ours is
// still inside the library while the process is torn down (leak checkers
// stop every thread and read its memory at that point).
void stopHelpersAtExit() {
    Team* t = team();
    {
        std::lock_guard<std::mutex> g(t->lock);
        // A loop still running on another thread at exit keeps its helpers.
        if (t->busy.load()) return;
        t->quit = true;
    }
    t->wake.notify_all();
    for (std::thread& th : t->threads)
        if (th.joinable()) th.join();
    t->threads.clear();
}

// A child process has only the thread that forked: its helpers are gone.
void forgetHelpersAfterFork() {
    Team* t = team();
    // Their records are kept, never joined nor destroyed: there is nothing
    // left to join in the child.
    new std::vector<std::thread>(std::move(t->threads));
    t->threads.clear();
    new (&t->lock) std::mutex;
    new (&t->wake) std::condition_variable;
    new (&t->done) std::condition_variable;
    t->busy.store(false);
    t->helpers = 0;
    t->wanted = 0;
    t->active = 0;
}

// Starts helpers up to `count`; answers how many there are.
int ensureHelpers(Team* t, int count) {
    static const bool registered = [] {
        std::atexit(stopHelpersAtExit);
        return pthread_atfork(nullptr, nullptr, forgetHelpersAfterFork) == 0;
    }();
    (void)registered;
    std::lock_guard<std::mutex> g(t->lock);
    while (t->helpers < count) {
        try {
            t->threads.emplace_back(helperLoop, t, t->generation);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: work with those there are
        }
        ++t->helpers;
    }
    return t->helpers;
}

}  // namespace

int teamThreadLimit() {
    if (tInsideTeamLoop || omp_in_parallel()) return 1;
    return std::max(1, std::min(omp_get_max_threads(), kMaxHelpers + 1));
}

void resetTeamPace() {
    Team* t = team();
    bool expected = false;
    while (!t->busy.compare_exchange_weak(expected, true)) {
        expected = false;
        std::this_thread::yield();
    }
    t->soloLoops = 0;
    t->backoff = 0;
    t->balance = 0;
    t->busy.store(false);
}

void runOnTeam(int bands, int threads, void (*body)(void* context, int band), void* context) {
    Team* t = team();
    threads = std::min({threads, bands, kMaxHelpers + 1});
    bool expected = false;
    if (threads <= 1 || tInsideTeamLoop || !t->busy.compare_exchange_strong(expected, true)) {
        for (int b = 0; b < bands; ++b) body(context, b);
        return;
    }
    if (t->soloLoops > 0) {
        --t->soloLoops;
        t->busy.store(false);
        tInsideTeamLoop = true;  // still a team loop: loops inside it stay on this thread
        for (int b = 0; b < bands; ++b) body(context, b);
        tInsideTeamLoop = false;
        return;
    }
    const int64_t start = wallNs();
    const int64_t startCpu = threadCpuNs();
    const int helpers = std::min(ensureHelpers(t, threads - 1), threads - 1);
    {
        std::lock_guard<std::mutex> g(t->lock);
        t->body = body;
        t->context = context;
        t->bands = bands;
        t->next.store(0, std::memory_order_relaxed);
        t->wanted = helpers;
        t->helperCpu = 0;
        ++t->generation;
    }
    t->wake.notify_all();
    tInsideTeamLoop = true;
    claimBands(body, context, bands, t->next);
    tInsideTeamLoop = false;
    int64_t bandsCpu = threadCpuNs() - startCpu;
    {
        // No helper joins from now on; wait for those inside to finish
        // their last band.
        std::unique_lock<std::mutex> lk(t->lock);
        t->wanted = 0;
        t->done.wait(lk, [&] { return t->active == 0; });
        bandsCpu += t->helperCpu;
    }
    const int64_t loopWall = wallNs() - start;
    const int64_t saved = helpersSaved(bandsCpu, loopWall);
    t->balance = std::min(t->balance + saved, kMaxBalance);
    if (t->balance < 0) {
        t->backoff = std::min(std::max(kFirstBackoff, 2 * t->backoff), kMaxBackoff);
        t->soloLoops = t->backoff;
        t->balance = 0;
    } else if (saved > 0) {
        t->backoff /= 2;
    }
    t->busy.store(false);
}
