#include "random_source.h"

void RandSequence::seed(uint32_t seedValue) {
    if (seedValue == 0) seedValue = 1;
    // 16807 x mod 2^31 - 1 by Schrage's method (127773 = m / 16807, 2836 =
    // m % 16807), so that no product overflows 32 bits. The word starts from
    // the seed read as a signed 32-bit value, as the C library reads it.
    int32_t word = static_cast<int32_t>(seedValue);
    words_[0] = seedValue;
    for (int i = 1; i < kWords; ++i) {
        const int32_t hi = word / 127773;
        const int32_t lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        words_[i] = static_cast<uint32_t>(word);
    }
    front_ = kLag;
    rear_ = 0;
    // The first ten rounds of the words still show the seed's arithmetic.
    for (int i = 0; i < 10 * kWords; ++i) next();
}
