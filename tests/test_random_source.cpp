// The frei0r instances' private copy of the C library's rand() sequence,
// checked against rand() itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "random_source.h"

namespace {

// Edges of the seeding arithmetic (0 counts as 1; values of 2^31 and above
// are read as negative words; the Schrage constants), then a spread.
std::vector<uint32_t> seedsToCheck() {
    std::vector<uint32_t> seeds = {0u,      1u,          2u,          42u,         16807u,      127773u,
                                   127774u, 2147483646u, 2147483647u, 2147483648u, 3000000000u, 4294967295u};
    for (uint32_t k = 1; k <= 12; ++k) seeds.push_back(k * 357913941u + 1000003u * k * k);
    return seeds;
}

}  // namespace

TEST(RandSequence, GivesWhatRandGivesAfterSrandForAMillionDraws) {
    for (uint32_t seed : seedsToCheck()) {
        std::srand(seed);
        RandSequence own(seed);
        int mismatch = -1;
        for (int i = 0; i < 1000000 && mismatch < 0; ++i)
            if (own.next() != std::rand()) mismatch = i;
        EXPECT_EQ(mismatch, -1) << "seed " << seed;
    }
}

TEST(RandomSource, DrawsFromRandOrFromItsOwnSequenceWhichCopiesCarryOn) {
    std::srand(7);
    RandomSource library;
    const int first = library.next();
    std::srand(7);
    EXPECT_EQ(first, std::rand());
    EXPECT_FALSE(library.ownsSequence());

    RandomSource own(7);
    EXPECT_TRUE(own.ownsSequence());
    for (int i = 0; i < 1000; ++i) own.next();
    RandomSource copy = own;
    std::srand(99);  // the C library's sequence is not involved
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(copy.next(), own.next()) << "draw " << i;
}
