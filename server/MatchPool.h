#pragma once

#include "MatchCandidate.h"

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vessaro {

// The users waiting for a partner, indexed so that finding the longest-waiting compatible partner
// costs far less than looking at everyone who waits.
//
// There is one index per topic, and one for the users who have waited long enough to take any
// topic ("relaxed"); a relaxed user is in both. Inside an index, users are filed on shelves and,
// on a shelf, in lists that keep them in arrival order, so the first user of a list is the one of
// that list who has waited longest. Every user of a list a seeker looks at is compatible with the
// seeker, so a search only compares list heads.
//
// A shelf's key is what a waiting user W wants (sex, city, district), W's sex, and W's city and
// district as far as the shelf's subset of {city, district} says. W is filed under each of the
// four subsets (leaving out those that name a city or district W has not given). A seeker S needs W
// to want either anything or exactly what S is, for each of sex, city and district (at most 2 x 2 x
// 2 combinations), W's sex to be what S wants (one sex, or the three sex codes when S wants
// anyone), and W's city and district to be what S names: that is at most 24 shelves, each found by
// one hash look-up.
//
// On a shelf, users are placed in a segment tree over ages 0..127 by their wanted age range: W is
// stored in the few tree nodes whose spans together make up exactly its range. The nodes on the
// path from the root to S's age (eight of them) therefore hold exactly the users whose range
// contains S's age. In each node the users are kept per own age, and S reads only the lists of
// the ages it wants.
//
// A search thus costs a few dozen hash look-ups plus, on each shelf that exists, eight nodes
// times the distinct ages inside the seeker's range: bounded by the age range, never by the
// number of users who wait. A user occupies up to about twenty list places per index (up to four
// shelves, a handful of tree nodes), each added and removed in constant time; measured, about
// 1.3 KB per waiting user and index.
class MatchPool {
public:
    MatchPool();
    ~MatchPool();
    MatchPool(const MatchPool&) = delete;
    MatchPool& operator=(const MatchPool&) = delete;

    // Adds a user who waits from now on; a smaller arrival number means a longer wait. An id that
    // is in the pool already is replaced.
    void Add(int32_t id, const MatchCandidate& candidate, uint64_t arrival);
    // The user has waited long enough to be paired across topics with others who have.
    void Relax(int32_t id);
    void Remove(int32_t id);
    void Clear();

    bool Contains(int32_t id) const;
    bool IsRelaxed(int32_t id) const;
    std::size_t size() const { return waiters_.size(); }

    // The longest-waiting user of the seeker's topic who is compatible with the seeker. The
    // seeker itself must not be in the pool.
    std::optional<int32_t> FindSameTopic(const MatchCandidate& seeker) const;
    // The longest-waiting relaxed user, of any topic, who is compatible with the seeker. The
    // seeker must not be among the relaxed.
    std::optional<int32_t> FindRelaxed(const MatchCandidate& seeker) const;

private:
    struct Waiter;
    struct AgeList;
    struct Shelf;
    struct ShelfKey;
    struct ShelfKeyHash;
    struct Index;
    using WaiterList = std::list<Waiter*>;
    // Where a user is filed: one list of one tree node of one shelf.
    struct Place {
        Shelf* shelf;
        uint16_t node;
        uint8_t age;
        WaiterList::iterator position;
    };

    static void Join(Index& index, Waiter& waiter, std::vector<Place>& places);
    static void Leave(Index& index, std::vector<Place>& places);
    static const Waiter* Search(const Index& index, const MatchCandidate& seeker);
    static void SearchShelf(const Shelf& shelf, const MatchCandidate& seeker, const Waiter*& best);

    std::unordered_map<int32_t, std::unique_ptr<Waiter>> waiters_;
    std::unordered_map<std::string, std::unique_ptr<Index>> topics_;
    std::unique_ptr<Index> relaxed_;
};

} // namespace vessaro
