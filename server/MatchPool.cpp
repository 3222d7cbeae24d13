#include "MatchPool.h"

#include "FlatTable.h"
#include "HugePageResource.h"
#include "Prefetch.h"
#include "RankedBits.h"
#include "TextNumbers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <span>

namespace vessaro {
namespace {

// Which of a waiting user's own city and district a shelf is keyed by.
constexpr unsigned kByCity = 1;
constexpr unsigned kByDistrict = 2;
constexpr unsigned kShelfSubsets = 4;

// The age segment tree: node 1 spans 0..kMaxMatchAge, node n's children are 2n and 2n + 1.
constexpr int kTreeLast = int(kMaxMatchAge);
constexpr std::size_t kTreeDepth = 8;             // 128 leaves
constexpr unsigned kTreeNodes = 1u << kTreeDepth; // node numbers 1..255, 0 unused
static_assert(kTreeLast + 1 == 1 << (kTreeDepth - 1));
static_assert(kTreeNodes - 1 <= std::numeric_limits<uint8_t>::max());

// A range covers at most two nodes per level below the root.
constexpr std::size_t kMaxCover = 2 * kTreeDepth;
struct Cover {
    std::array<uint8_t, kMaxCover> nodes;
    std::size_t count = 0;
};

// The nodes whose spans together make up exactly lo..hi.
void CoverRange(int node, int from, int to, int lo, int hi, Cover& out) {
    if (hi < from || to < lo)
        return;
    if (lo <= from && to <= hi) {
        out.nodes[out.count++] = uint8_t(node);
        return;
    }
    const int mid = (from + to) / 2;
    CoverRange(2 * node, from, mid, lo, hi, out);
    CoverRange(2 * node + 1, mid + 1, to, lo, hi, out);
}

// The nodes from the root down to the leaf of age: the only ones whose spans contain it.
std::array<uint8_t, kTreeDepth> PathTo(int age) {
    std::array<uint8_t, kTreeDepth> path{};
    int node = 1, from = 0, to = kTreeLast;
    for (std::size_t level = 0; level < kTreeDepth; ++level) {
        path[level] = uint8_t(node);
        const int mid = (from + to) / 2;
        if (age <= mid) {
            node = 2 * node;
            to = mid;
        } else {
            node = 2 * node + 1;
            from = mid + 1;
        }
    }
    return path;
}

// Ages and bounds above kMaxMatchAge count as kMaxMatchAge.
uint8_t ClampAge(uint32_t age) {
    return uint8_t(std::min(age, kMaxMatchAge));
}

} // namespace

struct MatchPool::ShelfKey {
    int32_t wantSex;
    int32_t sex;
    uint32_t wantCity;
    uint32_t wantDistrict;
    uint32_t city;     // when the subset holds kByCity, else 0
    uint32_t district; // when the subset holds kByDistrict, else 0
    uint32_t subset;

    bool operator==(const ShelfKey&) const = default;
};

struct MatchPool::ShelfKeyHash {
    uint64_t operator()(const ShelfKey& k) const {
        uint64_t h = MixBits(uint64_t(k.wantCity) << 32 | k.wantDistrict);
        h = MixBits(h ^ (uint64_t(k.city) << 32 | k.district));
        return MixBits(h ^ (uint64_t(uint32_t(k.wantSex)) << 32 | uint32_t(k.sex)) ^ k.subset);
    }
};

// One place where a user is filed: a link of one age list of one tree node of one shelf. It
// carries the user's id and arrival, so that lists are walked and heads read without touching
// the user.
struct MatchPool::Place {
    Place* prev;
    Place* next;
    Shelf* shelf;
    uint64_t arrival;
    int32_t id;
    uint8_t node;
    uint8_t age;
};

// The users of one tree node who have one own age, in arrival order: the ends of the list, and a
// copy of the first user's arrival and id, which is all a search reads.
struct MatchPool::AgeList {
    uint64_t arrival; // the first user's, or kVacant
    int32_t id;
    Place* head;
    Place* tail;
};
struct MatchPool::Head {
    uint64_t arrival;
    int32_t id;
};

// The arrival of a vacant list's head: later than every real arrival, so a search never takes it.
constexpr uint64_t kVacant = std::numeric_limits<uint64_t>::max();

// Lists or nodes left vacant are dropped together once there are this many and at least as many
// as those in use, so that dropping them costs a constant amount per user who left.
constexpr unsigned kMinVacantKept = 4;

// A tree node of a shelf: the ages its users have had, and their lists in ascending age, in one
// block of the pool's memory, so that a search reads the lists of the ages it wants as one
// contiguous run, and a list's ends and first user are in one place. The node also keeps the
// longest-waiting of all its users (the earliest head), so that a search whose ages include that
// user's age, or who has found someone who waited longer, need not read the heads at all. A list
// whose last user leaves stays as a vacant entry for the next user of its age, instead of
// shifting the arrays each time; vacant entries are dropped in bulk (Compact), and the block goes
// back to memory with the last list in use. Plain data of 40 bytes, so that a shelf moves its
// nodes as bytes and a search reads one cache line per node.
struct MatchPool::Node {
    // Adds a vacant list for the age, which must not have one, at its rank.
    void Insert(std::size_t rank, unsigned age, std::pmr::memory_resource& memory) {
        if (count == capacity)
            Grow(memory);
        std::memmove(lists + rank + 1, lists + rank, (count - rank) * sizeof(AgeList));
        lists[rank] = AgeList{kVacant, 0, nullptr, nullptr};
        ++count;
        ages.Set(age);
    }
    // The list of the age at rank has a new first user, who may have waited longer than any.
    void Lead(std::size_t rank, unsigned age, const Place& first) {
        lists[rank].arrival = first.arrival;
        lists[rank].id = first.id;
        if (first.arrival < oldest) {
            oldest = first.arrival;
            oldestId = first.id;
            oldestAge = uint8_t(age);
            oldestKnown = true;
        }
    }
    // The first user of the list at rank has left, and next follows it.
    void Follow(std::size_t rank, const Place& left, const Place& next) {
        lists[rank].arrival = next.arrival;
        lists[rank].id = next.id;
        if (left.arrival == oldest)
            oldestKnown = false;
    }
    // The list at rank has lost its last user, who arrived at `arrival`.
    void Vacate(std::size_t rank, uint64_t arrival, std::pmr::memory_resource& memory) {
        lists[rank] = AgeList{kVacant, 0, nullptr, nullptr};
        --live;
        if (live == 0) {
            Release(memory);
            ages = {};
            count = 0;
            oldest = kVacant;
            oldestKnown = true;
            return;
        }
        if (unsigned(count - live) >= std::max<unsigned>(kMinVacantKept, live))
            Compact();
        if (arrival == oldest)
            oldestKnown = false;
    }
    // Looks for the longest-waiting user among all the heads.
    void FindOldest() {
        oldestKnown = true;
        oldest = kVacant;
        std::size_t rank = 0;
        ages.ForEach([&](unsigned age) {
            if (lists[rank].arrival < oldest) {
                oldest = lists[rank].arrival;
                oldestId = lists[rank].id;
                oldestAge = uint8_t(age);
            }
            ++rank;
        });
    }
    void Release(std::pmr::memory_resource& memory) {
        if (lists)
            memory.deallocate(lists, capacity * sizeof(AgeList), alignof(AgeList));
        lists = nullptr;
        capacity = 0;
    }

    RankedBits<(kMaxMatchAge + 1) / 64> ages; // the ages that have a list, vacant or not
    AgeList* lists = nullptr;                 // room for capacity lists
    uint64_t oldest = kVacant;                // the earliest arrival of a head; kVacant: none
    int32_t oldestId = 0;                     // that head's user
    uint8_t count = 0;                        // lists, vacant or not
    uint8_t capacity = 0;
    uint8_t live = 0;          // lists that are not vacant
    uint8_t oldestAge : 7 = 0; // that head's age
    // False once that head has left: oldest is then only a bound (no head is earlier), until a
    // search that reads every head of the node finds the earliest one again.
    uint8_t oldestKnown : 1 = true;

private:
    // Doubles the room, up to every age.
    void Grow(std::pmr::memory_resource& memory) {
        const std::size_t room = capacity == 0 ? 2 : std::min<std::size_t>(2 * capacity, 128);
        auto* grown =
            static_cast<AgeList*>(memory.allocate(room * sizeof(AgeList), alignof(AgeList)));
        if (count != 0) // a node without ages has no block
            std::memcpy(grown, lists, count * sizeof(AgeList));
        Release(memory);
        lists = grown;
        capacity = uint8_t(room);
    }
    // Drops the vacant lists.
    void Compact() {
        RankedBits<(kMaxMatchAge + 1) / 64> kept;
        std::size_t rank = 0, to = 0;
        ages.ForEach([&](unsigned age) {
            if (lists[rank].head) {
                lists[to] = lists[rank];
                kept.Set(age);
                ++to;
            }
            ++rank;
        });
        ages = kept;
        count = uint8_t(to);
    }
};
static_assert(kMaxMatchAge + 1 <= 128);

// The tree nodes of a shelf that hold someone, or did since the shelf last dropped its empty
// nodes: like a node's vacant lists, an empty node stays for the next user who needs it, and empty
// nodes are dropped in bulk.
struct MatchPool::Shelf {
    using allocator_type = std::pmr::polymorphic_allocator<Node>;
    Shelf(const ShelfKey& key, const allocator_type& memory) : nodes(memory), key(key) {}
    Shelf(const Shelf&) = delete;
    Shelf& operator=(const Shelf&) = delete;
    ~Shelf() {
        for (Node& node : nodes)
            node.Release(*nodes.get_allocator().resource());
    }

    Node& At(unsigned node) { return nodes[filled.Below(node)]; }
    const Node& At(unsigned node) const { return nodes[filled.Below(node)]; }
    Node& Fill(unsigned node) {
        const std::size_t rank = filled.Below(node);
        if (!filled.Has(node)) {
            filled.Set(node);
            nodes.emplace(nodes.begin() + long(rank));
        }
        return nodes[rank];
    }
    // A node has lost its last user; liveNodes must still count it.
    void Emptied() {
        --liveNodes;
        if (liveNodes != 0 &&
            nodes.size() - liveNodes >= std::max<unsigned>(kMinVacantKept, liveNodes))
            Compact();
    }

    RankedBits<kTreeNodes / 64> filled; // the tree nodes that are kept
    std::pmr::vector<Node> nodes;       // those nodes, in node order
    unsigned liveNodes = 0;             // the nodes that hold someone
    ShelfKey key;

private:
    // Drops the empty nodes, which have no block.
    void Compact() {
        RankedBits<kTreeNodes / 64> kept;
        std::size_t rank = 0, to = 0;
        filled.ForEach([&](unsigned node) {
            if (nodes[rank].live != 0) {
                nodes[to++] = nodes[rank];
                kept.Set(node);
            }
            ++rank;
        });
        filled = kept;
        nodes.resize(to);
    }
};

struct MatchPool::Index {
    explicit Index(std::pmr::memory_resource* memory) : shelves(memory) {}

    // Blocks of places by their count, given back and kept for the next user with as many: cut
    // from the arena to their exact size, where the pool's size classes would round them up by
    // up to half. Only the relaxed index, which lasts as long as the pool, keeps them, for every
    // index.
    static constexpr std::size_t kMaxPlaces = kShelfSubsets * kMaxCover;
    // Kept apart from the blocks, so that taking one does not wait for its memory.
    std::array<std::vector<Place*>, kMaxPlaces + 1> freeBlocks;

    FlatTable<ShelfKey, Shelf, ShelfKeyHash> shelves;
    std::size_t members = 0;
    uint64_t newestArrival = 0; // the latest arrival of anyone ever filed here
};

// What filing needs of a waiting user, with texts as numbers, and where it is filed in the
// relaxed index (its Entry says where in its topic's): one block of places per index, taken from
// the pool's memory. One cache line.
struct MatchPool::Waiter {
    int32_t id;
    int8_t sex;
    int8_t wantSex;
    uint8_t age;
    uint8_t minAge;
    uint8_t maxAge;
    bool relaxed;
    uint8_t relaxedCount; // places in relaxedPlaces
    uint64_t arrival;
    std::pair<const std::string, std::unique_ptr<Index>>* topic; // its entry in topics_
    uint32_t city;
    uint32_t district;
    uint32_t wantCity;
    uint32_t wantDistrict;
    Place* relaxedPlaces;
};

// A seeker as a search reads it, its texts looked up once.
struct MatchPool::Seeker {
    int32_t sex;
    int32_t wantSex;
    uint8_t minAge;
    uint8_t maxAge;
    uint32_t city;     // TextNumbers::kNone when no waiting user has it
    uint32_t district; // likewise
    uint32_t wantCity;
    uint32_t wantDistrict;
    std::array<uint8_t, kTreeDepth> path;
};

MatchPool::MatchPool()
    : arena_(HugePageResource::kHugePage, HugePageResource::Get()), memory_(&arena_),
      relaxed_(std::make_unique<Index>(&memory_)), words_(std::make_unique<TextNumbers>()) {
    // A shelf's nodes are the largest block the indexes ask for; larger ones would be lost to
    // the arena when given back.
    static_assert((kTreeNodes - 1) * sizeof(Node) <= FreeListResource::kLargest);
    static_assert(sizeof(Node) == 40, "a node is read as one cache line");
}
MatchPool::~MatchPool() = default;

MatchPool::Waiter* MatchPool::FindWaiter(int32_t id) {
    const Entry* entry = waiters_.Find(id);
    return entry ? &waiterSlab_[entry->slot] : nullptr;
}

const MatchPool::Waiter* MatchPool::FindWaiter(int32_t id) const {
    const Entry* entry = waiters_.Find(id);
    return entry ? &waiterSlab_[entry->slot] : nullptr;
}

void MatchPool::Add(int32_t id, const MatchCandidate& candidate, uint64_t arrival) {
    static_assert(sizeof(Waiter) <= kCacheLine);
    Remove(id);
    auto topic = topics_.find(candidate.topic);
    if (topic == topics_.end())
        topic = topics_.emplace(candidate.topic, std::make_unique<Index>(&memory_)).first;
    const uint32_t place = waiterSlab_.Take();
    Waiter& w = waiterSlab_[place];
    w = Waiter{id,
               int8_t(candidate.sex),
               int8_t(candidate.wantSex),
               ClampAge(candidate.age),
               ClampAge(candidate.minAge),
               ClampAge(candidate.maxAge),
               false,
               0,
               arrival,
               &*topic,
               words_->Acquire(candidate.city),
               words_->Acquire(candidate.district),
               words_->Acquire(candidate.wantCity),
               words_->Acquire(candidate.wantDistrict),
               nullptr};
    Entry entry{place, 0, nullptr};
    entry.topicPlaces = Join(*topic->second, w, entry.topicCount);
    waiters_.Get(id) = entry;
}

void MatchPool::Relax(int32_t id) {
    Waiter* w = FindWaiter(id);
    if (!w || w->relaxed)
        return;
    w->relaxed = true;
    w->relaxedPlaces = Join(*relaxed_, *w, w->relaxedCount);
}

void MatchPool::Remove(int32_t id) {
    const Entry* found = waiters_.Find(id);
    if (!found)
        return;
    const Entry entry = *found;
    Waiter& w = waiterSlab_[entry.slot];
    PrefetchObject(&w);
    if (entry.topicCount != 0)
        PrefetchBytes(entry.topicPlaces, entry.topicCount * sizeof(Place));
    if (w.relaxed && w.relaxedCount != 0)
        PrefetchBytes(w.relaxedPlaces, w.relaxedCount * sizeof(Place));
    Leave(*w.topic->second, entry.topicPlaces, entry.topicCount);
    if (w.topic->second->members == 0)
        topics_.erase(topics_.find(w.topic->first));
    if (w.relaxed)
        Leave(*relaxed_, w.relaxedPlaces, w.relaxedCount);
    Release(w);
    waiterSlab_.Give(entry.slot);
    waiters_.Erase(id);
}

void MatchPool::Release(Waiter& w) {
    words_->Release(w.city);
    words_->Release(w.district);
    words_->Release(w.wantCity);
    words_->Release(w.wantDistrict);
}

void MatchPool::Clear() {
    topics_.clear();
    relaxed_.reset();
    waiters_.Clear();
    waiterSlab_.Clear();
    memory_.release();
    arena_.release();
    relaxed_ = std::make_unique<Index>(&memory_);
    words_ = std::make_unique<TextNumbers>();
}

void MatchPool::PrefetchRemoval(int32_t id) const {
    const Entry* entry = waiters_.Find(id);
    if (!entry)
        return;
    PrefetchObject(&waiterSlab_[entry->slot]);
    if (entry->topicCount != 0)
        PrefetchBytes(entry->topicPlaces, entry->topicCount * sizeof(Place));
}

bool MatchPool::Contains(int32_t id) const {
    return waiters_.Find(id) != nullptr;
}

bool MatchPool::IsRelaxed(int32_t id) const {
    const Waiter* w = FindWaiter(id);
    return w && w->relaxed;
}

std::vector<std::pair<std::string, std::size_t>> MatchPool::TopicCounts() const {
    std::vector<std::pair<std::string, std::size_t>> counts;
    counts.reserve(topics_.size());
    for (const auto& [topic, index] : topics_)
        counts.emplace_back(topic, index->members);
    return counts;
}

std::optional<int32_t> MatchPool::FindSameTopic(const MatchCandidate& seeker) const {
    auto topic = topics_.find(seeker.topic);
    if (topic == topics_.end())
        return std::nullopt;
    const std::optional<Seeker> s = Prepare(seeker);
    return s ? Search(*topic->second, *s) : std::nullopt;
}

std::optional<int32_t> MatchPool::FindRelaxed(const MatchCandidate& seeker) const {
    if (relaxed_->members == 0)
        return std::nullopt;
    const std::optional<Seeker> s = Prepare(seeker);
    return s ? Search(*relaxed_, *s) : std::nullopt;
}

// Nothing when no one can be found: the seeker wants nobody, or names a city or district that no
// waiting user has.
std::optional<MatchPool::Seeker> MatchPool::Prepare(const MatchCandidate& s) const {
    if (s.wantSex == kNobody)
        return std::nullopt;
    const uint32_t wantCity = words_->Find(s.wantCity);
    const uint32_t wantDistrict = words_->Find(s.wantDistrict);
    if (wantCity == TextNumbers::kNone || wantDistrict == TextNumbers::kNone)
        return std::nullopt;
    return Seeker{s.sex,
                  s.wantSex,
                  ClampAge(s.minAge),
                  ClampAge(s.maxAge),
                  words_->Find(s.city),
                  words_->Find(s.district),
                  wantCity,
                  wantDistrict,
                  PathTo(ClampAge(s.age))};
}

// The user's places in the index, as one block of count places from the pool's memory (none when
// its age range is empty).
MatchPool::Place* MatchPool::Join(Index& index, const Waiter& w, uint8_t& count) {
    Cover cover;
    CoverRange(1, 0, kTreeLast, w.minAge, w.maxAge, cover);
    ++index.members;
    count = 0;
    if (cover.count == 0)
        return nullptr; // a range no age is in: no one can be paired with the user
    unsigned subsets[kShelfSubsets];
    std::size_t subsetCount = 0;
    for (unsigned subset = 0; subset < kShelfSubsets; ++subset) {
        // A seeker who names a city or district never matches a user without one.
        if (((subset & kByCity) && w.city == 0) || ((subset & kByDistrict) && w.district == 0))
            continue;
        subsets[subsetCount++] = subset;
    }
    // The places are list links: they never move while filed. Their block is written below.
    Place* const places = static_cast<Place*>(TakeBlock(subsetCount * cover.count));
    PrefetchBytesForWrite(places, subsetCount * cover.count * sizeof(Place));
    // The shelves first, then (in rounds, as in Search) the nodes, age lists and last places that
    // filing is going to touch, as far as they exist already.
    using Shelves = decltype(index.shelves);
    std::array<ShelfKey, kShelfSubsets> keys;
    std::array<uint64_t, kShelfSubsets> hashes;
    for (std::size_t s = 0; s < subsetCount; ++s) {
        const unsigned subset = subsets[s];
        keys[s] = ShelfKey{w.wantSex,
                           w.sex,
                           w.wantCity,
                           w.wantDistrict,
                           (subset & kByCity) ? w.city : 0,
                           (subset & kByDistrict) ? w.district : 0,
                           subset};
        hashes[s] = Shelves::HashOf(keys[s]);
        index.shelves.PrefetchHash(hashes[s]);
    }
    std::array<Shelf*, kShelfSubsets> shelves;
    for (std::size_t s = 0; s < subsetCount; ++s) {
        shelves[s] = &index.shelves.Get(keys[s], hashes[s]);
        PrefetchObject(shelves[s]);
    }
    auto existing = [&](auto&& use) {
        for (std::size_t s = 0; s < subsetCount; ++s) {
            for (std::size_t n = 0; n < cover.count; ++n) {
                if (shelves[s]->filled.Has(cover.nodes[n]))
                    use(shelves[s]->At(cover.nodes[n]));
            }
        }
    };
    existing([](const Node& tree) { PrefetchObject(&tree); });
    existing([&](const Node& tree) {
        if (tree.ages.Has(w.age))
            PrefetchObject(&tree.lists[tree.ages.Below(w.age)]);
    });
    // A user who arrived after everyone filed so far goes last in each of its lists: linking it
    // only writes to the list's last place, which needs no waiting for that place.
    const bool newest = w.arrival > index.newestArrival;
    if (newest)
        index.newestArrival = w.arrival;
    existing([&](const Node& tree) {
        if (tree.ages.Has(w.age)) {
            const Place* tail = tree.lists[tree.ages.Below(w.age)].tail;
            if (tail && newest)
                PrefetchBytesForWrite(tail, sizeof(Place));
            else if (tail)
                PrefetchObject(tail);
        }
    });

    for (std::size_t s = 0; s < subsetCount; ++s) {
        Shelf& shelf = *shelves[s];
        for (std::size_t n = 0; n < cover.count; ++n) {
            const uint8_t node = cover.nodes[n];
            Node& tree = shelf.Fill(node);
            const std::size_t rank = tree.ages.Below(w.age);
            if (!tree.ages.Has(w.age))
                tree.Insert(rank, w.age, memory_);
            AgeList& list = tree.lists[rank];
            if (!list.head && tree.live++ == 0)
                ++shelf.liveNodes;
            Place& place = places[count++];
            place = Place{nullptr, nullptr, &shelf, w.arrival, w.id, node, w.age};
            // Otherwise walk back past later arrivals.
            Place* before = list.tail;
            while (!newest && before && before->arrival > place.arrival)
                before = before->prev;
            place.prev = before;
            place.next = before == list.tail ? nullptr : before ? before->next : list.head;
            if (place.prev) {
                place.prev->next = &place;
            } else {
                list.head = &place;
                tree.Lead(rank, w.age, place);
            }
            if (place.next)
                place.next->prev = &place;
            else
                list.tail = &place;
        }
    }
    return places;
}

MatchPool::Place* MatchPool::TakeBlock(std::size_t count) {
    std::vector<Place*>& free = relaxed_->freeBlocks[count];
    if (free.empty())
        return static_cast<Place*>(arena_.allocate(count * sizeof(Place), alignof(Place)));
    Place* block = free.back();
    free.pop_back();
    return block;
}

void MatchPool::GiveBlock(Place* block, std::size_t count) {
    relaxed_->freeBlocks[count].push_back(block);
}

// A place inside its list is simply unlinked; a first or last one also updates its list's ends,
// and the last of a list takes the list, then maybe its node and its shelf, away with it. What
// that touches is scattered and mostly not in the cache, so it is first asked for in rounds, as in
// Search: the neighbours and shelves, then the nodes, then the lists of the places at an end.
void MatchPool::Leave(Index& index, Place* const first, uint8_t count) {
    const std::span<Place> places(first, count);
    auto atEnd = [](const Place& place) { return !place.prev || !place.next; };
    for (const Place& place : places) {
        if (place.prev)
            PrefetchObject(place.prev);
        if (place.next)
            PrefetchObject(place.next);
        if (atEnd(place))
            PrefetchObject(place.shelf);
    }
    for (const Place& place : places) {
        if (atEnd(place))
            PrefetchObject(&place.shelf->At(place.node));
    }
    for (const Place& place : places) {
        if (atEnd(place)) {
            const Node& tree = place.shelf->At(place.node);
            const std::size_t rank = tree.ages.Below(place.age);
            PrefetchObject(&tree.lists[rank]);
        }
    }
    for (Place& place : places) {
        if (place.prev)
            place.prev->next = place.next;
        if (place.next)
            place.next->prev = place.prev;
        if (place.prev && place.next)
            continue;
        Shelf& shelf = *place.shelf;
        Node& tree = shelf.At(place.node);
        const std::size_t rank = tree.ages.Below(place.age);
        AgeList& list = tree.lists[rank];
        if (place.next) {
            list.head = place.next;
            tree.Follow(rank, place, *place.next);
            continue;
        }
        if (place.prev) {
            list.tail = place.prev;
            continue;
        }
        tree.Vacate(rank, place.arrival, memory_);
        if (tree.live != 0)
            continue;
        if (shelf.liveNodes == 1) {
            const ShelfKey key = shelf.key;
            index.shelves.Erase(key);
            continue;
        }
        shelf.Emptied();
    }
    if (count != 0)
        GiveBlock(first, count);
    --index.members;
}

// With many users waiting, little of what a search reads is in the cache, and each step depends
// on the one before: the slot gives the shelf, the shelf its nodes, a node its list heads. The
// search therefore goes in rounds (look up every shelf, then find every node on the seeker's path,
// then read every run of list heads), each round asking for all of its memory before using any,
// so the misses overlap instead of following one another. The runs are compared in the order
// of the rounds, which is the order of a plain nested walk.
std::optional<int32_t> MatchPool::Search(const Index& index, const Seeker& s) {
    const unsigned subset = (s.wantCity ? kByCity : 0) | (s.wantDistrict ? kByDistrict : 0);
    // What a waiting user may want of the seeker: nothing in particular, or exactly what it is. A
    // text of the seeker's that nobody has leaves only "nothing in particular".
    const int32_t wantSexes[2] = {SEX_ANY, s.sex};
    const uint32_t wantCities[2] = {0, s.city};
    const uint32_t wantDistricts[2] = {0, s.district};
    const int wantSexCount = s.sex == SEX_ANY ? 1 : 2;
    const int wantCityCount = s.city == 0 || s.city == TextNumbers::kNone ? 1 : 2;
    const int wantDistrictCount = s.district == 0 || s.district == TextNumbers::kNone ? 1 : 2;
    // What the seeker may find: the sex it wants, or any of the sex codes.
    const int32_t anySex[3] = {SEX_ANY, SEX_MALE, SEX_FEMALE};
    const int32_t* sexes = s.wantSex == SEX_ANY ? anySex : &s.wantSex;
    const int sexCount = s.wantSex == SEX_ANY ? 3 : 1;

    constexpr std::size_t kMaxShelves = 2 * 2 * 2 * 3;
    using Shelves = decltype(index.shelves);
    std::array<ShelfKey, kMaxShelves> keys;
    std::array<uint64_t, kMaxShelves> hashes;
    std::size_t keyCount = 0;
    for (int i = 0; i < wantSexCount; ++i)
        for (int j = 0; j < wantCityCount; ++j)
            for (int k = 0; k < wantDistrictCount; ++k)
                for (int n = 0; n < sexCount; ++n) {
                    keys[keyCount] =
                        ShelfKey{wantSexes[i], sexes[n],       wantCities[j], wantDistricts[k],
                                 s.wantCity,   s.wantDistrict, subset};
                    hashes[keyCount] = Shelves::HashOf(keys[keyCount]);
                    index.shelves.PrefetchHash(hashes[keyCount++]);
                }

    std::array<const Shelf*, kMaxShelves> shelves;
    std::size_t shelfCount = 0;
    for (std::size_t k = 0; k < keyCount; ++k) {
        if (const Shelf* shelf = index.shelves.Find(keys[k], hashes[k])) {
            PrefetchObject(shelf);
            shelves[shelfCount++] = shelf;
        }
    }

    std::array<const Node*, kMaxShelves * kTreeDepth> nodes;
    std::size_t nodeCount = 0;
    for (std::size_t i = 0; i < shelfCount; ++i) {
        const Shelf& shelf = *shelves[i];
        for (uint8_t node : s.path) {
            if (!shelf.filled.Has(node))
                continue;
            const Node* tree = &shelf.nodes[shelf.filled.Below(node)];
            PrefetchObject(tree);
            nodes[nodeCount++] = tree;
        }
    }

    // A node's longest-waiting user, when known, is the one to beat in it if the seeker wants
    // its age; a node whose heads all came after the best found so far cannot hold a better one.
    // Only the other nodes' heads are read, as runs of the ages the seeker wants; a run of all of
    // a node's heads tells the node its longest-waiting user again.
    Head best{kVacant, 0};
    for (std::size_t i = 0; i < nodeCount; ++i) {
        const Node& tree = *nodes[i];
        if (tree.oldestKnown && tree.oldest < best.arrival && s.minAge <= tree.oldestAge &&
            tree.oldestAge <= s.maxAge)
            best = Head{tree.oldest, tree.oldestId};
    }
    struct Run {
        const AgeList* begin;
        const AgeList* end;
        const Node* tree;
    };
    std::array<Run, kMaxShelves * kTreeDepth> runs;
    std::size_t runCount = 0;
    for (std::size_t i = 0; i < nodeCount; ++i) {
        const Node& tree = *nodes[i];
        if (tree.oldest >= best.arrival)
            continue;
        const Run run{tree.lists + tree.ages.Below(s.minAge),
                      tree.lists + tree.ages.Below(s.maxAge + 1u), &tree};
        PrefetchRange(run.begin, run.end);
        runs[runCount++] = run;
    }
    // Vacant lists are in the runs too, but never taken: their arrival is later than any.
    for (std::size_t i = 0; i < runCount; ++i) {
        const Run& run = runs[i];
        for (const AgeList* list = run.begin; list < run.end; ++list) {
            if (list->arrival < best.arrival)
                best = Head{list->arrival, list->id};
        }
        if (!run.tree->oldestKnown && run.begin == run.tree->lists &&
            run.end == run.tree->lists + run.tree->count)
            const_cast<Node*>(run.tree)->FindOldest(); // every head is in the cache now
    }
    if (best.arrival == kVacant)
        return std::nullopt;
    return best.id;
}

} // namespace vessaro
