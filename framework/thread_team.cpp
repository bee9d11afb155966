#include "thread_team.h"

#include <omp.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
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
    int wanted = 0;  // helpers still welcome to join
    int active = 0;  // helpers inside the loop
    std::atomic<int> next{0};
};

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
        claimBands(body, context, bands, t->next);
        lk.lock();
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

void runOnTeam(int bands, int threads, void (*body)(void* context, int band), void* context) {
    Team* t = team();
    threads = std::min({threads, bands, kMaxHelpers + 1});
    bool expected = false;
    if (threads <= 1 || tInsideTeamLoop || !t->busy.compare_exchange_strong(expected, true)) {
        for (int b = 0; b < bands; ++b) body(context, b);
        return;
    }
    const int helpers = std::min(ensureHelpers(t, threads - 1), threads - 1);
    {
        std::lock_guard<std::mutex> g(t->lock);
        t->body = body;
        t->context = context;
        t->bands = bands;
        t->next.store(0, std::memory_order_relaxed);
        t->wanted = helpers;
        ++t->generation;
    }
    t->wake.notify_all();
    tInsideTeamLoop = true;
    claimBands(body, context, bands, t->next);
    tInsideTeamLoop = false;
    {
        // No helper joins from now on; wait for those inside to finish
        // their last band.
        std::unique_lock<std::mutex> lk(t->lock);
        t->wanted = 0;
        t->done.wait(lk, [&] { return t->active == 0; });
    }
    t->busy.store(false);
}
