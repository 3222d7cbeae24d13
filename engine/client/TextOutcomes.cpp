#include "TextOutcomes.h"

namespace vessaro {

void TextOutcomes::Expect(uint32_t id) {
    std::lock_guard lock(mutex_);
    waits_.emplace(id, std::nullopt);
}

void TextOutcomes::Settle(uint32_t id, bool confirmed) {
    {
        std::lock_guard lock(mutex_);
        auto wait = waits_.find(id);
        if (wait == waits_.end())
            return;
        wait->second = confirmed;
    }
    settled_.notify_all();
}

bool TextOutcomes::Wait(uint32_t id) {
    std::unique_lock lock(mutex_);
    settled_.wait(lock, [&] {
        auto wait = waits_.find(id);
        return closed_ || wait == waits_.end() || wait->second.has_value();
    });
    auto wait = waits_.find(id);
    bool confirmed = wait != waits_.end() && wait->second.value_or(false);
    if (wait != waits_.end())
        waits_.erase(wait);
    return confirmed;
}

void TextOutcomes::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    settled_.notify_all();
}

} // namespace vessaro
