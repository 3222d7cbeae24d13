#include "TextNumbers.h"

namespace vessaro {

uint32_t TextNumbers::Find(const std::string& text) const {
    if (text.empty())
        return 0;
    auto it = numbers_.find(text);
    return it == numbers_.end() ? kNone : it->second;
}

uint32_t TextNumbers::Acquire(const std::string& text) {
    if (text.empty())
        return 0;
    auto [it, added] = numbers_.try_emplace(text, 0);
    if (added) {
        if (free_.empty()) {
            it->second = uint32_t(uses_.size());
            uses_.emplace_back();
        } else {
            it->second = free_.back();
            free_.pop_back();
        }
        uses_[it->second] = Use{0, &it->first};
    }
    ++uses_[it->second].holders;
    return it->second;
}

void TextNumbers::Release(uint32_t number) {
    if (number == 0)
        return;
    Use& use = uses_[number];
    if (--use.holders != 0)
        return;
    numbers_.erase(numbers_.find(*use.text));
    free_.push_back(number);
}

} // namespace vessaro
