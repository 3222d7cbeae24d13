#pragma once

#include "FlatTable.h"
#include "HugePageResource.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vessaro {

// Values by key, held in the slots of one open-addressed array with linear probing (the
// values themselves, not pointers to them): no allocation per entry, and a look-up mostly reads
// one slot. Held at most half full; an erased entry's slot is filled by shifting later entries of
// its run back, so there are no tombstones and a look-up never walks past dead slots. Values move
// when the table grows or shrinks: keep keys or indexes, not pointers into it. Hash gives a
// well-mixed 64-bit hash of a key; where others choose the keys, give it a secret seed, or they
// can choose keys that share a home and make every look-up walk a long run.
template <typename Key, typename Value, typename Hash>
class FlatMap {
public:
    explicit FlatMap(Hash hash = Hash{}) : hash_(hash) {}

    std::size_t size() const { return size_; }
    std::size_t slotCount() const { return slots_.size(); }

    Value* Find(const Key& key) {
        return const_cast<Value*>(static_cast<const FlatMap*>(this)->Find(key));
    }
    const Value* Find(const Key& key) const {
        if (size_ == 0)
            return nullptr;
        for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.used)
                return nullptr;
            if (slot.key == key)
                return &slot.value;
        }
    }

    // Asks for the slot where a look-up of the key starts, ahead of the look-up.
    void Prefetch(const Key& key) const {
        if (size_ != 0)
            PrefetchObject(&slots_[Home(key)]);
    }

    // The key's value, value-initialised when the key is new.
    Value& Get(const Key& key) {
        if (Value* value = Find(key))
            return *value;
        if (2 * (size_ + 1) > slots_.size())
            Rehash(std::max<std::size_t>(kMinSlots, 2 * slots_.size()));
        std::size_t i = Home(key);
        while (slots_[i].used)
            i = (i + 1) & mask_;
        slots_[i].key = key;
        slots_[i].value = Value{};
        slots_[i].used = true;
        ++size_;
        return slots_[i].value;
    }

    // False when the key was not there.
    bool Erase(const Key& key) {
        if (size_ == 0)
            return false;
        std::size_t hole = Home(key);
        for (;; hole = (hole + 1) & mask_) {
            if (!slots_[hole].used)
                return false;
            if (slots_[hole].key == key)
                break;
        }
        for (std::size_t i = (hole + 1) & mask_; slots_[i].used; i = (i + 1) & mask_) {
            // An entry may move back into the hole unless its home lies after the hole.
            if (((i - Home(slots_[i].key)) & mask_) >= ((i - hole) & mask_)) {
                slots_[hole] = std::move(slots_[i]);
                hole = i;
            }
        }
        slots_[hole] = Slot{};
        --size_;
        if (slots_.size() > kMinSlots && 8 * size_ < slots_.size())
            Rehash(slots_.size() / 2);
        return true;
    }

    // Calls fn(key, value) for every entry; fn must not change the table.
    template <typename Fn>
    void ForEach(Fn&& fn) const {
        for (const Slot& slot : slots_) {
            if (slot.used)
                fn(slot.key, slot.value);
        }
    }

    void Clear() {
        slots_.clear();
        slots_.shrink_to_fit();
        mask_ = 0;
        size_ = 0;
    }

private:
    static constexpr std::size_t kMinSlots = 16;
    struct Slot {
        Key key{};
        Value value{};
        bool used = false;
    };

    std::size_t Home(const Key& key) const { return std::size_t(hash_(key)) & mask_; }

    void Rehash(std::size_t count) {
        std::vector<Slot, HugePageAllocator<Slot>> old(count);
        old.swap(slots_);
        mask_ = count - 1;
        for (Slot& slot : old) {
            if (!slot.used)
                continue;
            std::size_t i = Home(slot.key);
            while (slots_[i].used)
                i = (i + 1) & mask_;
            slots_[i] = std::move(slot);
        }
    }

    Hash hash_;
    std::vector<Slot, HugePageAllocator<Slot>> slots_; // large tables on huge pages
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

} // namespace vessaro
