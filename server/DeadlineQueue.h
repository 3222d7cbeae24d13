#pragma once

#include <cstdint>
#include <optional>
#include <queue>
#include <vector>

namespace vessaro {

// Things to do at given times, taken in time order; items due at the same time come out in the
// order they were put in. Items are not cancelled: their owner checks on removal whether an item
// still applies, so a stale one costs only its slot until it falls due.
template <typename Item>
class DeadlineQueue {
public:
    void Push(int64_t dueMs, Item item) { heap_.push(Entry{dueMs, nextOrder_++, std::move(item)}); }

    // The earliest item due at or before nowMs, removed from the queue.
    std::optional<Item> PopDue(int64_t nowMs) {
        if (heap_.empty() || heap_.top().dueMs > nowMs)
            return std::nullopt;
        Item item = heap_.top().item;
        heap_.pop();
        return item;
    }

    std::optional<int64_t> NextDue() const {
        if (heap_.empty())
            return std::nullopt;
        return heap_.top().dueMs;
    }

    std::size_t size() const { return heap_.size(); }
    void Clear() { heap_ = {}; }

private:
    struct Entry {
        int64_t dueMs;
        uint64_t order;
        Item item;
        bool operator>(const Entry& o) const {
            return dueMs != o.dueMs ? dueMs > o.dueMs : order > o.order;
        }
    };
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap_;
    uint64_t nextOrder_ = 0;
};

} // namespace vessaro
