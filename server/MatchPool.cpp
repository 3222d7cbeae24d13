#include "MatchPool.h"

#include <algorithm>
#include <array>
#include <functional>

namespace vessaro {
namespace {

// The parts of a waiting user's own location that a shelf is keyed by.
constexpr unsigned kByCity = 1;
constexpr unsigned kByDistrict = 2;
constexpr unsigned kShelfSubsets = 4;

// The age segment tree: node 1 spans 0..kMaxMatchAge, node n's children are 2n and 2n + 1.
constexpr int kTreeLast = int(kMaxMatchAge);

void HashMix(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// The nodes whose spans together make up exactly lo..hi.
void CoverRange(int node, int from, int to, int lo, int hi, std::vector<uint16_t>& out) {
    if (hi < from || to < lo)
        return;
    if (lo <= from && to <= hi) {
        out.push_back(uint16_t(node));
        return;
    }
    const int mid = (from + to) / 2;
    CoverRange(2 * node, from, mid, lo, hi, out);
    CoverRange(2 * node + 1, mid + 1, to, lo, hi, out);
}

// The nodes from the root down to the leaf of age: the only ones whose spans contain it.
constexpr std::size_t kTreeDepth = 8; // 128 leaves
std::array<uint16_t, kTreeDepth> PathTo(int age) {
    std::array<uint16_t, kTreeDepth> path{};
    int node = 1, from = 0, to = kTreeLast;
    for (std::size_t level = 0; level < kTreeDepth; ++level) {
        path[level] = uint16_t(node);
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

static_assert(kTreeLast + 1 == 1 << (kTreeDepth - 1));

} // namespace

namespace {

template <typename AgeLists>
auto FirstAgeNotBelow(AgeLists& ages, uint32_t age) {
    return std::lower_bound(ages.begin(), ages.end(), age,
                            [](const auto& entry, uint32_t a) { return entry.age < a; });
}

} // namespace

struct MatchPool::ShelfKey {
    int32_t wantSex;
    std::string wantCity;
    std::string wantDistrict;
    unsigned subset;
    int32_t sex;
    std::string city;     // when the subset holds kByCity, else empty
    std::string district; // when the subset holds kByDistrict, else empty

    bool operator==(const ShelfKey&) const = default;
};

struct MatchPool::ShelfKeyHash {
    std::size_t operator()(const ShelfKey& k) const {
        std::size_t h = std::hash<std::string>{}(k.wantCity);
        HashMix(h, std::hash<std::string>{}(k.wantDistrict));
        HashMix(h, std::hash<std::string>{}(k.city));
        HashMix(h, std::hash<std::string>{}(k.district));
        HashMix(h, std::hash<uint64_t>{}(uint64_t(uint32_t(k.wantSex)) << 32 | uint32_t(k.sex)));
        HashMix(h, k.subset);
        return h;
    }
};

// The users of one tree node who have one own age, in arrival order. The head and the arrivals at
// both ends are copied out of the list, so that a search compares heads without touching the list
// or the users (a node's ages are read as one contiguous run), and a newcomer is appended without
// looking at the last user.
struct MatchPool::AgeList {
    uint8_t age;
    uint64_t headArrival;
    uint64_t tailArrival;
    const Waiter* head;
    std::unique_ptr<WaiterList> list; // its own allocation: Place iterators survive moves
};

struct MatchPool::Shelf {
    ShelfKey key;
    // Tree node -> the ages present, in ascending order.
    std::unordered_map<uint16_t, std::vector<AgeList>> nodes;
};

struct MatchPool::Index {
    std::unordered_map<ShelfKey, std::unique_ptr<Shelf>, ShelfKeyHash> shelves;
    std::size_t members = 0;
};

struct MatchPool::Waiter {
    Waiter(int32_t id, uint64_t arrival, const MatchCandidate& candidate)
        : id(id), arrival(arrival), candidate(candidate) {}

    int32_t id;
    uint64_t arrival;
    MatchCandidate candidate;
    std::vector<Place> topicPlaces;
    std::vector<Place> relaxedPlaces; // empty until relaxed
};

MatchPool::MatchPool() : relaxed_(std::make_unique<Index>()) {}
MatchPool::~MatchPool() = default;

void MatchPool::Add(int32_t id, const MatchCandidate& candidate, uint64_t arrival) {
    Remove(id);
    auto waiter = std::make_unique<Waiter>(id, arrival, candidate);
    auto& topic = topics_[candidate.topic];
    if (!topic)
        topic = std::make_unique<Index>();
    Join(*topic, *waiter, waiter->topicPlaces);
    waiters_.emplace(id, std::move(waiter));
}

void MatchPool::Relax(int32_t id) {
    auto it = waiters_.find(id);
    if (it == waiters_.end() || !it->second->relaxedPlaces.empty())
        return;
    Join(*relaxed_, *it->second, it->second->relaxedPlaces);
}

void MatchPool::Remove(int32_t id) {
    auto it = waiters_.find(id);
    if (it == waiters_.end())
        return;
    Waiter& w = *it->second;
    auto topic = topics_.find(w.candidate.topic);
    Leave(*topic->second, w.topicPlaces);
    if (topic->second->members == 0)
        topics_.erase(topic);
    if (!w.relaxedPlaces.empty())
        Leave(*relaxed_, w.relaxedPlaces);
    waiters_.erase(it);
}

void MatchPool::Clear() {
    topics_.clear();
    relaxed_ = std::make_unique<Index>();
    waiters_.clear();
}

bool MatchPool::Contains(int32_t id) const {
    return waiters_.count(id) != 0;
}

bool MatchPool::IsRelaxed(int32_t id) const {
    auto it = waiters_.find(id);
    return it != waiters_.end() && !it->second->relaxedPlaces.empty();
}

std::optional<int32_t> MatchPool::FindSameTopic(const MatchCandidate& seeker) const {
    auto topic = topics_.find(seeker.topic);
    if (topic == topics_.end())
        return std::nullopt;
    if (const Waiter* w = Search(*topic->second, seeker))
        return w->id;
    return std::nullopt;
}

std::optional<int32_t> MatchPool::FindRelaxed(const MatchCandidate& seeker) const {
    if (const Waiter* w = Search(*relaxed_, seeker))
        return w->id;
    return std::nullopt;
}

void MatchPool::Join(Index& index, Waiter& waiter, std::vector<Place>& places) {
    const MatchCandidate& c = waiter.candidate;
    std::vector<uint16_t> nodes;
    nodes.reserve(2 * kTreeDepth);
    CoverRange(1, 0, kTreeLast, int(c.minAge), int(c.maxAge), nodes);
    places.reserve(places.size() + kShelfSubsets * nodes.size());
    for (unsigned subset = 0; subset < kShelfSubsets; ++subset) {
        // A seeker who names a city or district never matches a user without one.
        if (((subset & kByCity) && c.city.empty()) ||
            ((subset & kByDistrict) && c.district.empty()))
            continue;
        ShelfKey key{c.wantSex,
                     c.wantCity,
                     c.wantDistrict,
                     subset,
                     c.sex,
                     (subset & kByCity) ? c.city : std::string(),
                     (subset & kByDistrict) ? c.district : std::string()};
        auto& shelf = index.shelves[key];
        if (!shelf)
            shelf = std::make_unique<Shelf>(Shelf{std::move(key), {}});
        for (uint16_t node : nodes) {
            std::vector<AgeList>& ages = shelf->nodes[node];
            auto entry = FirstAgeNotBelow(ages, c.age);
            if (entry == ages.end() || entry->age != c.age)
                entry = ages.insert(
                    entry, AgeList{uint8_t(c.age), 0, 0, nullptr, std::make_unique<WaiterList>()});
            WaiterList& list = *entry->list;
            // Arrivals nearly always come last; walk back only past later ones.
            auto at = list.end();
            if (!list.empty() && entry->tailArrival > waiter.arrival) {
                while (at != list.begin() && (*std::prev(at))->arrival > waiter.arrival)
                    --at;
            }
            auto position = list.insert(at, &waiter);
            if (std::next(position) == list.end())
                entry->tailArrival = waiter.arrival;
            if (position == list.begin()) {
                entry->head = &waiter;
                entry->headArrival = waiter.arrival;
            }
            places.push_back(Place{shelf.get(), node, uint8_t(c.age), position});
        }
    }
    ++index.members;
}

// Places of one shelf are consecutive, so a shelf is erased only after its last place is gone.
void MatchPool::Leave(Index& index, std::vector<Place>& places) {
    for (const Place& place : places) {
        auto node = place.shelf->nodes.find(place.node);
        auto entry = FirstAgeNotBelow(node->second, place.age);
        WaiterList& list = *entry->list;
        const bool wasHead = place.position == list.begin();
        const bool wasTail = std::next(place.position) == list.end();
        list.erase(place.position);
        if (!list.empty()) {
            if (wasHead) {
                entry->head = list.front();
                entry->headArrival = list.front()->arrival;
            }
            if (wasTail)
                entry->tailArrival = list.back()->arrival;
            continue;
        }
        node->second.erase(entry);
        if (!node->second.empty())
            continue;
        place.shelf->nodes.erase(node);
        if (place.shelf->nodes.empty())
            index.shelves.erase(index.shelves.find(place.shelf->key));
    }
    places.clear();
    --index.members;
}

const MatchPool::Waiter* MatchPool::Search(const Index& index, const MatchCandidate& s) {
    if (s.wantSex == kNobody)
        return nullptr;
    const unsigned subset =
        (s.wantCity.empty() ? 0 : kByCity) | (s.wantDistrict.empty() ? 0 : kByDistrict);
    // What a waiting user may want of the seeker: nothing in particular, or exactly what it is.
    const int32_t wantSexes[2] = {SEX_ANY, s.sex};
    const std::string wantCities[2] = {std::string(), s.city};
    const std::string wantDistricts[2] = {std::string(), s.district};
    const int wantSexCount = s.sex == SEX_ANY ? 1 : 2;
    const int wantCityCount = s.city.empty() ? 1 : 2;
    const int wantDistrictCount = s.district.empty() ? 1 : 2;
    // What the seeker may find: the sex it wants, or any of the sex codes.
    const int32_t anySex[3] = {SEX_ANY, SEX_MALE, SEX_FEMALE};
    const int32_t* sexes = s.wantSex == SEX_ANY ? anySex : &s.wantSex;
    const int sexCount = s.wantSex == SEX_ANY ? 3 : 1;

    ShelfKey key{0, {}, {}, subset, 0, s.wantCity, s.wantDistrict};
    const Waiter* best = nullptr;
    for (int i = 0; i < wantSexCount; ++i)
        for (int j = 0; j < wantCityCount; ++j)
            for (int k = 0; k < wantDistrictCount; ++k)
                for (int n = 0; n < sexCount; ++n) {
                    key.wantSex = wantSexes[i];
                    key.wantCity = wantCities[j];
                    key.wantDistrict = wantDistricts[k];
                    key.sex = sexes[n];
                    auto shelf = index.shelves.find(key);
                    if (shelf != index.shelves.end())
                        SearchShelf(*shelf->second, s, best);
                }
    return best;
}

void MatchPool::SearchShelf(const Shelf& shelf, const MatchCandidate& s, const Waiter*& best) {
    for (uint16_t node : PathTo(int(s.age))) {
        auto found = shelf.nodes.find(node);
        if (found == shelf.nodes.end())
            continue;
        const std::vector<AgeList>& ages = found->second;
        for (auto it = FirstAgeNotBelow(ages, s.minAge); it != ages.end() && it->age <= s.maxAge;
             ++it) {
            if (!best || it->headArrival < best->arrival)
                best = it->head;
        }
    }
}

} // namespace vessaro
