#include "UnprovenTable.h"

#include <algorithm>

namespace vessaro {

UnprovenTable::UnprovenTable(std::size_t capacity, std::vector<int64_t> copyOffsetsMs)
    : ring_(std::max<std::size_t>(1, capacity)) {
    index_.reserve(ring_.size());
    ids_.reserve(ring_.size());
    SetCopyOffsets(std::move(copyOffsetsMs));
}

void UnprovenTable::SetCopyOffsets(std::vector<int64_t> copyOffsetsMs) {
    copyOffsetsMs_ = std::move(copyOffsetsMs);
    // A new schedule applies to the entries granted from now on.
    copyCursors_.assign(copyOffsetsMs_.size(), tail_);
}

UnprovenTable::Entry* UnprovenTable::Find(const Endpoint& endpoint) {
    auto it = index_.find(endpoint);
    return it == index_.end() ? nullptr : &At(it->second);
}

UnprovenTable::Entry& UnprovenTable::Add(const Endpoint& endpoint, int32_t id, int64_t nowMs) {
    if (tail_ - head_ == ring_.size())
        DropOldest();
    const uint64_t position = tail_++;
    Entry& entry = At(position);
    entry = Entry{endpoint, id, nowMs, 0, 0, true};
    index_[endpoint] = position;
    ids_.insert(id);
    return entry;
}

void UnprovenTable::Remove(const Endpoint& endpoint) {
    auto it = index_.find(endpoint);
    if (it == index_.end())
        return;
    Entry& entry = At(it->second);
    entry.live = false;
    ids_.erase(entry.id);
    index_.erase(it);
    while (head_ != tail_ && !At(head_).live)
        ++head_;
}

void UnprovenTable::DropOldest() {
    Entry& oldest = At(head_);
    if (oldest.live) {
        index_.erase(oldest.endpoint);
        ids_.erase(oldest.id);
    }
    oldest.live = false;
    ++head_;
    while (head_ != tail_ && !At(head_).live)
        ++head_;
}

void UnprovenTable::Expire(int64_t nowMs, int64_t lifetimeMs) {
    while (head_ != tail_ && nowMs - At(head_).grantedMs >= lifetimeMs)
        DropOldest();
}

void UnprovenTable::TakeDueCopies(int64_t nowMs, const std::function<void(Entry&)>& send) {
    for (std::size_t copy = 0; copy < copyCursors_.size(); ++copy) {
        uint64_t& cursor = copyCursors_[copy];
        cursor = std::max(cursor, head_);
        while (cursor != tail_ && At(cursor).grantedMs + copyOffsetsMs_[copy] <= nowMs) {
            Entry& entry = At(cursor++);
            if (entry.live)
                send(entry);
        }
    }
}

std::optional<int64_t> UnprovenTable::NextCopyDue() const {
    std::optional<int64_t> next;
    for (std::size_t copy = 0; copy < copyCursors_.size(); ++copy) {
        const uint64_t cursor = std::max(copyCursors_[copy], head_);
        if (cursor == tail_)
            continue;
        const int64_t due = At(cursor).grantedMs + copyOffsetsMs_[copy];
        if (!next || due < *next)
            next = due;
    }
    return next;
}

void UnprovenTable::Clear() {
    head_ = tail_;
    for (uint64_t& cursor : copyCursors_)
        cursor = tail_;
    index_.clear();
    ids_.clear();
    for (Entry& entry : ring_)
        entry.live = false;
}

} // namespace vessaro
