#pragma once

#include "MatchCandidate.h"

#include <cstdint>
#include <map>
#include <optional>

namespace vessaro::test {

// A user in the plain list that tests keep beside the waiting pool.
struct ScannedWaiter {
    MatchCandidate candidate;
    uint64_t arrival;
    bool relaxed = false;
};

// What the pool must answer, found the slow way: a look at everyone who waits for the
// longest-waiting compatible user of the seeker's topic, or among the relaxed.
inline std::optional<int32_t> ScanForPartner(const std::map<int32_t, ScannedWaiter>& waiting,
                                             const MatchCandidate& seeker, bool relaxedOnly) {
    std::optional<int32_t> best;
    uint64_t bestArrival = 0;
    for (const auto& [id, w] : waiting) {
        const bool eligible = relaxedOnly ? w.relaxed : w.candidate.topic == seeker.topic;
        if (eligible && Compatible(w.candidate, seeker) && (!best || w.arrival < bestArrival)) {
            best = id;
            bestArrival = w.arrival;
        }
    }
    return best;
}

} // namespace vessaro::test
