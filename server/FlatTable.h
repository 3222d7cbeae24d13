#pragma once

#include "HugePageResource.h"
#include "Prefetch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <vector>

namespace vessaro {

// Spreads the bits of x over the whole word (a 64-bit finaliser), for hashing integer keys.
inline uint64_t MixBits(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// The hash of ids that the server draws at random itself (sessions, conversations): nobody else
// chooses them, so mixing their bits spreads them well enough.
struct IdHash {
    uint64_t operator()(int32_t id) const { return MixBits(uint32_t(id)); }
};

// Values by key in one open-addressed array with linear probing: a look-up, whether it finds a
// value or not, mostly reads a byte or two of a dense array of tags (bits of each slot's hash),
// and a slot only where a tag matches, where a node-based map reads a bucket and then a node
// elsewhere. Each value is an object of its own, made from the table's memory resource (with
// that resource as its allocator when it takes one), so it stays put while the table grows. Held
// at most half full; emptied slots are filled by shifting later entries of the same run back, so
// no look-up ever has to skip a tombstone. Hash gives a well-mixed 64-bit hash of a key.
template <typename Key, typename Value, typename Hash>
class FlatTable {
public:
    explicit FlatTable(std::pmr::memory_resource* memory = std::pmr::new_delete_resource())
        : values_(memory) {}
    ~FlatTable() {
        for (Slot& slot : slots_) {
            if (slot.value)
                values_.delete_object(slot.value);
        }
    }
    FlatTable(const FlatTable&) = delete;
    FlatTable& operator=(const FlatTable&) = delete;

    std::size_t size() const { return size_; }

    // A key's hash, for looking the key up more than once (Prefetch, then Find or Get) without
    // hashing it each time.
    static uint64_t HashOf(const Key& key) { return Hash{}(key); }

    const Value* Find(const Key& key) const { return Find(key, HashOf(key)); }
    const Value* Find(const Key& key, uint64_t hash) const {
        if (size_ == 0)
            return nullptr;
        const uint8_t tag = TagOf(hash);
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            if (tags_[i] == 0)
                return nullptr;
            if (tags_[i] == tag && slots_[i].key == key)
                return slots_[i].value;
        }
    }

    // Asks for the tags where a look-up of the key with this hash starts, ahead of the look-up.
    void PrefetchHash(uint64_t hash) const {
        if (size_ != 0)
            PrefetchObject(&tags_[hash & mask_]);
    }

    // The key's value, made from the key when there is none.
    Value& Get(const Key& key) { return Get(key, HashOf(key)); }
    Value& Get(const Key& key, uint64_t hash) {
        if (const Value* value = Find(key, hash))
            return const_cast<Value&>(*value);
        if (2 * (size_ + 1) > slots_.size())
            Rehash(std::max<std::size_t>(kMinSlots, 2 * slots_.size()));
        std::size_t i = hash & mask_;
        while (tags_[i] != 0)
            i = (i + 1) & mask_;
        slots_[i].value = values_.template new_object<Value>(key);
        slots_[i].key = key;
        tags_[i] = TagOf(hash);
        ++size_;
        return *slots_[i].value;
    }

    // The key must be in the table.
    void Erase(const Key& key) {
        std::size_t hole = Home(key);
        while (!slots_[hole].value || !(slots_[hole].key == key))
            hole = (hole + 1) & mask_;
        values_.delete_object(slots_[hole].value);
        slots_[hole].value = nullptr;
        tags_[hole] = 0;
        for (std::size_t i = (hole + 1) & mask_; tags_[i] != 0; i = (i + 1) & mask_) {
            // An entry may move back into the hole unless its home lies after the hole.
            if (((i - Home(slots_[i].key)) & mask_) >= ((i - hole) & mask_)) {
                slots_[hole] = slots_[i];
                tags_[hole] = tags_[i];
                slots_[i].value = nullptr;
                tags_[i] = 0;
                hole = i;
            }
        }
        --size_;
        if (slots_.size() > kMinSlots && 8 * size_ < slots_.size())
            Rehash(slots_.size() / 2);
    }

private:
    static constexpr std::size_t kMinSlots = 16;
    struct Slot {
        Key key{};
        Value* value = nullptr; // null: a free slot
    };

    std::size_t Home(const Key& key) const { return std::size_t(Hash{}(key)) & mask_; }
    // A few bits of the hash that a slot's tag holds, never 0 (a free slot's).
    static uint8_t TagOf(uint64_t hash) { return uint8_t(hash >> 57) | 0x80; }

    void Rehash(std::size_t count) {
        std::vector<Slot, HugePageAllocator<Slot>> old(count);
        old.swap(slots_);
        tags_.assign(count, 0);
        mask_ = count - 1;
        for (const Slot& slot : old) {
            if (!slot.value)
                continue;
            const uint64_t hash = HashOf(slot.key);
            std::size_t i = hash & mask_;
            while (tags_[i] != 0)
                i = (i + 1) & mask_;
            slots_[i] = slot;
            tags_[i] = TagOf(hash);
        }
    }

    std::pmr::polymorphic_allocator<std::byte> values_;
    std::vector<Slot, HugePageAllocator<Slot>> slots_; // large tables on huge pages
    // A tag per slot, a byte of its key's hash (0: free), so that a look-up mostly reads these
    // dense bytes and compares a key only where the tag matches.
    std::vector<uint8_t> tags_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

} // namespace vessaro
