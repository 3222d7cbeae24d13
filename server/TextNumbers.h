#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace vessaro {

// Texts as small numbers, so that keys made of them are hashed and compared as integers. 0 is
// the empty text. A number lasts while someone holds its text, and is given again once the last
// holder has let it go: whatever is keyed by a number must not outlive its holders.
class TextNumbers {
public:
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max(); // held by nobody

    // The text's number, or kNone when nobody holds it.
    uint32_t Find(const std::string& text) const;
    // The text's number, held once more.
    uint32_t Acquire(const std::string& text);
    // Lets go of one hold of a number that Acquire gave.
    void Release(uint32_t number);

private:
    struct Use {
        uint32_t holders = 0;
        const std::string* text = nullptr; // the key in numbers_, which stays put
    };
    std::unordered_map<std::string, uint32_t> numbers_;
    std::vector<Use> uses_{1}; // by number; 0 is the empty text, never counted
    std::vector<uint32_t> free_;
};

} // namespace vessaro
