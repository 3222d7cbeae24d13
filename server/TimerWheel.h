#pragma once

#include "DeadlineQueue.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vessaro {

// Things to do at given times, taken in time order; items due at the same millisecond come out in
// the order they were put in (exactly as a DeadlineQueue, without a heap entry per item).
//
// A hashed wheel of one slot per millisecond: every item in the wheel is due within the next
// `slots` milliseconds of the cursor, so the slot of a millisecond holds only the items due at
// that millisecond, in the order they came. Putting an item in is an append; taking the due
// items out walks the slots from the cursor up to the time asked for, so it costs what falls due
// plus one step per millisecond gone by (a jump when the wheel is empty). Items due further ahead
// wait in a small heap and move into the wheel, in their order, as soon as their slot comes
// within reach, which is before anything else can be put into that slot. A bit per slot tells
// which slots hold items, so the next due time is found by scanning words, not slots.
//
// Items are not cancelled: their owner checks on removal whether an item still applies (a
// serial that no longer matches), so cancelling costs nothing and a stale item costs its place
// until it falls due.
template <typename Item>
class TimerWheel {
public:
    // slots: a power of two, at least 64; the reach of the wheel in milliseconds.
    explicit TimerWheel(std::size_t slots = 65536)
        : slots_(slots), occupied_((slots + 63) / 64), summary_((occupied_.size() + 63) / 64),
          mask_(int64_t(slots) - 1) {}

    void Push(int64_t dueMs, Item item) {
        if (!started_ || dueMs - cursor_ >= int64_t(slots_.size())) {
            far_.Push(dueMs, std::move(item));
            return;
        }
        Place(dueMs < cursor_ ? cursor_ : dueMs, std::move(item));
    }

    // The earliest item due at or before nowMs, removed.
    std::optional<Item> PopDue(int64_t nowMs) {
        if (!started_)
            Start(nowMs);
        for (;;) {
            std::vector<Item>& slot = slots_[std::size_t(cursor_ & mask_)];
            if (taken_ < slot.size())
                return std::move(slot[taken_++]);
            if (cursor_ >= nowMs)
                return std::nullopt;
            Advance(nowMs);
        }
    }

    std::optional<int64_t> NextDue() const {
        if (!started_)
            return far_.NextDue();
        if (inWheel_ > 0) {
            if (taken_ < slots_[std::size_t(cursor_ & mask_)].size())
                return cursor_;
            if (std::optional<int64_t> next = NextOccupiedAfter(cursor_))
                return next;
        }
        return far_.NextDue();
    }

    std::size_t size() const { return inWheel_ - taken_ + far_.size(); }
    std::size_t slotCount() const { return slots_.size(); }

    // Empties only the slots that hold items, found through their bits.
    void Clear() {
        for (std::size_t word = 0; word < occupied_.size(); ++word) {
            for (uint64_t bits = occupied_[word]; bits != 0; bits &= bits - 1)
                slots_[word * 64 + std::size_t(std::countr_zero(bits))].clear();
        }
        std::fill(occupied_.begin(), occupied_.end(), 0);
        std::fill(summary_.begin(), summary_.end(), 0);
        far_.Clear();
        inWheel_ = 0;
        taken_ = 0;
        started_ = false;
    }

private:
    void Start(int64_t nowMs) {
        started_ = true;
        cursor_ = nowMs;
        if (std::optional<int64_t> first = far_.NextDue(); first && *first < cursor_)
            cursor_ = *first;
        TakeFromFar();
    }

    void Place(int64_t dueMs, Item item) {
        const std::size_t index = std::size_t(dueMs & mask_);
        slots_[index].push_back(std::move(item));
        MarkOccupied(index);
        ++inWheel_;
    }

    // Empties the cursor's slot (all of it taken) and moves the cursor on, past empty time at
    // once: to the next slot that holds items, or when none does to what waits outside, but
    // never beyond nowMs. Whatever waits outside is due after every slot in the wheel, so
    // nothing is passed over.
    void Advance(int64_t nowMs) {
        const std::size_t index = std::size_t(cursor_ & mask_);
        inWheel_ -= slots_[index].size();
        slots_[index].clear();
        MarkEmpty(index);
        taken_ = 0;
        ++cursor_;
        std::optional<int64_t> next =
            inWheel_ == 0 ? far_.NextDue() : NextOccupiedAfter(cursor_ - 1);
        const int64_t target = next && *next < nowMs ? *next : nowMs;
        if (target > cursor_)
            cursor_ = target;
        TakeFromFar();
    }

    void TakeFromFar() {
        const int64_t reach = cursor_ + int64_t(slots_.size());
        while (std::optional<int64_t> due = far_.NextDue()) {
            if (*due >= reach)
                break;
            Place(*due < cursor_ ? cursor_ : *due, *far_.PopDue(*due));
        }
    }

    // The first occupied slot's time after `from`, within the wheel's reach: found through the
    // summary (a bit per word of slot bits), so an idle wheel is not scanned slot word by word.
    std::optional<int64_t> NextOccupiedAfter(int64_t from) const {
        const std::size_t start = std::size_t((from + 1) & mask_);
        const std::size_t word = start / 64;
        std::size_t index;
        if (const uint64_t above = occupied_[word] & (~uint64_t(0) << (start % 64)); above != 0) {
            index = word * 64 + std::size_t(std::countr_zero(above));
        } else {
            // The next word with a slot in it, round the wheel; the start word itself last, for
            // its slots before the start.
            const std::size_t next = NextSummaryBit(word);
            if (next == kNone)
                return std::nullopt;
            index = next * 64 + std::size_t(std::countr_zero(occupied_[next]));
        }
        const int64_t found = from + 1 + int64_t((index - start) & std::size_t(mask_));
        if (found >= cursor_ + int64_t(slots_.size()))
            return std::nullopt;
        return found;
    }

    // The first word after `word`, round the wheel and ending with `word` itself, that has an
    // occupied slot; kNone when none has.
    std::size_t NextSummaryBit(std::size_t word) const {
        const std::size_t words = occupied_.size();
        for (std::size_t k = 1; k <= words;) {
            const std::size_t at = (word + k) % words;
            const uint64_t bits = summary_[at / 64] >> (at % 64);
            if (bits != 0) {
                const std::size_t skip = std::size_t(std::countr_zero(bits));
                if (k + skip <= words)
                    return (at + skip) % words;
                return kNone;
            }
            k += std::min(64 - at % 64, words - at);
        }
        return kNone;
    }

    void MarkOccupied(std::size_t index) {
        occupied_[index / 64] |= uint64_t(1) << (index % 64);
        summary_[index / 4096] |= uint64_t(1) << (index / 64 % 64);
    }

    void MarkEmpty(std::size_t index) {
        uint64_t& word = occupied_[index / 64];
        word &= ~(uint64_t(1) << (index % 64));
        if (word == 0)
            summary_[index / 4096] &= ~(uint64_t(1) << (index / 64 % 64));
    }

    static constexpr std::size_t kNone = ~std::size_t(0);

    std::vector<std::vector<Item>> slots_;
    std::vector<uint64_t> occupied_; // a bit per slot that holds items
    std::vector<uint64_t> summary_;  // a bit per word of occupied_ that is not zero
    int64_t mask_;
    int64_t cursor_ = 0;    // the millisecond whose slot is being taken
    std::size_t taken_ = 0; // items already taken from the cursor's slot
    std::size_t inWheel_ = 0;
    bool started_ = false; // the cursor is set by the first PopDue; until then all wait far
    DeadlineQueue<Item> far_;
};

} // namespace vessaro
