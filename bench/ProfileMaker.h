#pragma once

#include "Records.h"

#include <cstdint>
#include <random>
#include <string>

namespace vessaro::bench {

// A user's two records, as a match request carries them.
struct MatchRecords {
    UserProfile profile;
    MatchRequirement requirement;
};

// Varied but realistic users for the matching benchmarks, the same for the same seed: a few
// topics, both sexes, ages 16 to 60, a dozen cities with districts, and requirements that are
// broad (anyone) or narrow (a sex, an age band, a city, sometimes a district).
class ProfileMaker {
public:
    explicit ProfileMaker(uint32_t seed) : random_(seed) {}

    MatchRecords Next();
    // A user as varied as Next() in everything but sex: a man who wants a woman. No two of them
    // can be paired, so any number of them can wait together.
    MatchRecords NextWaiting();
    // Two users who are sure to be paired with each other, on a topic of their own.
    static MatchRecords Pairable(int pair, int side);

private:
    uint32_t Pick(uint32_t bound) {
        return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random_);
    }

    std::mt19937 random_;
};

} // namespace vessaro::bench
