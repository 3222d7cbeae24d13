#pragma once

#include "FlatMap.h"
#include "FreeListResource.h"
#include "HugePageResource.h"
#include "MatchCandidate.h"
#include "Slab.h"

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vessaro {

class TextNumbers;

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
// one hash look-up. Cities and districts enter keys as small numbers given to each text while
// someone who waits uses it, so keys are hashed and compared as integers; a seeker's texts are
// looked up once per search, and a text nobody uses rules out every shelf that would need it.
//
// On a shelf, users are placed in a segment tree over ages 0..127 by their wanted age range: W is
// stored in the few tree nodes whose spans together make up exactly its range. The nodes on the
// path from the root to S's age (eight of them) therefore hold exactly the users whose range
// contains S's age. In each node the users are kept per own age, and S reads only the lists of
// the ages it wants. A shelf keeps a bit per tree node and those nodes, densely in node order; a
// node likewise keeps a bit per age and the lists of those ages, densely in age order, each list
// with the arrival and id of its first user beside its ends. Nodes and lists are thus reached by
// counting bits, without hashing or searching, and the lists a seeker reads in a node are one
// contiguous run of 32-byte entries. Each node also knows its longest-waiting user, so that most
// searches read one cache line per node and no lists. Lists and nodes that fall empty stay for
// the next user who needs them and are dropped in bulk, once there are as many as those in use,
// so that users coming and going do not shift arrays each time.
//
// The lists are intrusive: the places where a user is filed are the links, held in one block per
// user and index that never moves while the user waits. Users themselves sit in a slab, and
// every block, node and list array comes from a pool of memory on huge pages that keeps what
// users leave for the next ones: in a steady state, filing and unfiling allocate nothing from
// the heap. A place in the middle of its list is unlinked without looking at the list; only a
// first or last place updates the list's ends and first user (found through the place's shelf,
// node and age). With many users waiting, little of this
// is in the cache, so searching, filing and unfiling ask for the memory they will read in rounds
// before reading it, letting the cache misses overlap.
//
// A search thus costs a few dozen hash look-ups plus, on each shelf that exists, eight nodes
// times the distinct ages inside the seeker's range: bounded by the age range, never by the
// number of users who wait. A user occupies up to about twenty list places per index (up to four
// shelves, a handful of tree nodes), each added and removed in constant time. Measured (memory
// taken from the system, 1,000,000 users of the matching benchmark in their topic index), about
// 1.3 KB per waiting user; the micro-benchmark prints it as bytes_per_waiter.
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
    // Asks for what Remove(id) reads first (the user and where it is filed), ahead of Remove:
    // with many users waiting, each is a cache miss that can overlap other work.
    void PrefetchRemoval(int32_t id) const;
    bool IsRelaxed(int32_t id) const;
    std::size_t size() const { return waiters_.size(); }
    // How many users wait in each topic (GBK topic text), in no particular order.
    std::vector<std::pair<std::string, std::size_t>> TopicCounts() const;

    // The longest-waiting user of the seeker's topic who is compatible with the seeker. The
    // seeker itself must not be in the pool.
    std::optional<int32_t> FindSameTopic(const MatchCandidate& seeker) const;
    // The longest-waiting relaxed user, of any topic, who is compatible with the seeker. The
    // seeker must not be among the relaxed.
    std::optional<int32_t> FindRelaxed(const MatchCandidate& seeker) const;

private:
    struct Waiter;
    struct Place;
    struct AgeList;
    struct Head;
    struct Node;
    struct Shelf;
    struct ShelfKey;
    struct ShelfKeyHash;
    struct Index;
    struct Seeker;

    Place* Join(Index& index, const Waiter& waiter, uint8_t& count);
    void Leave(Index& index, Place* first, uint8_t count);
    Place* TakeBlock(std::size_t count);
    void GiveBlock(Place* block, std::size_t count);
    std::optional<Seeker> Prepare(const MatchCandidate& seeker) const;
    static std::optional<int32_t> Search(const Index& index, const Seeker& seeker);
    Waiter* FindWaiter(int32_t id);
    const Waiter* FindWaiter(int32_t id) const;
    void Release(Waiter& waiter);

    // Everything the indexes hold (shelves, nodes, age lists, the places of each user) comes
    // from memory_, which keeps what is given back for the next user instead of returning it to
    // the heap; it draws on arena_, which takes memory in ever larger blocks, on huge pages (all
    // of them are 2 MiB or more). Declared first, so that it outlives the indexes.
    std::pmr::monotonic_buffer_resource arena_;
    FreeListResource memory_;
    // Where a waiting user is: its place in waiterSlab_, and its places in its topic's index,
    // so that taking it out reads the waiter and its places at once, not one after the other.
    struct Entry {
        uint32_t slot;
        uint8_t topicCount;
        Place* topicPlaces;
    };
    Slab<Waiter, 32768> waiterSlab_;          // 64-byte waiters, 2 MiB chunks
    FlatMap<int32_t, Entry, IdHash> waiters_; // by id
    std::unordered_map<std::string, std::unique_ptr<Index>> topics_;
    std::unique_ptr<Index> relaxed_;
    std::unique_ptr<TextNumbers> words_;
};

} // namespace vessaro
