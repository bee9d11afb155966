// Where a generator's random numbers come from. The FreeFrame face draws
// from the C library's rand(), the one process-wide sequence FreeFrame hosts
// rely on; a frei0r instance draws from a sequence of its own, so that its
// pictures depend on its seed alone, whatever other instances draw.
#pragma once

#include <cstdint>
#include <cstdlib>

// The C library's rand() as glibc computes it, reproduced without touching
// the library's state: an additive lagged Fibonacci generator over 31 words,
// r[i] = r[i-3] + r[i-31] (mod 2^32), each value being r[i] >> 1 (0 ..
// 2^31 - 1). Seeding fills the words with 16807^i * seed mod (2^31 - 1)
// (seed 0 counts as 1) and throws the first 310 values away. After
// seed(s), next() gives exactly what rand() gives after srand(s).
class RandSequence {
   public:
    explicit RandSequence(uint32_t seedValue = 1) { seed(seedValue); }
    void seed(uint32_t seedValue);
    int next() {
        const uint32_t value = words_[front_] += words_[rear_];
        if (++front_ == kWords) front_ = 0;
        if (++rear_ == kWords) rear_ = 0;
        return static_cast<int>(value >> 1);
    }

   private:
    static constexpr int kWords = 31;
    static constexpr int kLag = 3;  // front_ runs this many words ahead of rear_
    uint32_t words_[kWords];
    int front_ = kLag;
    int rear_ = 0;
};

// Every draw of a generator goes through the instance's source. Copyable,
// so that a copy taken between frames restarts the sequence there.
class RandomSource {
   public:
    // Draws from rand(), as the FreeFrame face must.
    RandomSource() = default;
    // Draws from an own sequence that starts as rand() does after srand(seed).
    explicit RandomSource(uint32_t seed) : own_(true), sequence_(seed) {}

    int next() { return own_ ? sequence_.next() : std::rand(); }
    bool ownsSequence() const { return own_; }

   private:
    bool own_ = false;
    RandSequence sequence_;
};
