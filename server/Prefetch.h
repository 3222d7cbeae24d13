#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vessaro {

// Asks for the cache lines of an object, or of a run of objects (its first few lines; the
// hardware follows a longer run by itself), ahead of their use: a walk whose steps each miss the
// cache asks for everything of one step first, so that the misses overlap.
inline constexpr std::size_t kCacheLine = 64;

// kWrite: 1 for memory about to be written, whose lines are then asked for in the state that
// writing needs, so that stores to them do not wait; 0 for memory about to be read.
template <int kWrite>
inline void PrefetchLines(const void* begin, std::size_t size) {
    const auto first = reinterpret_cast<uintptr_t>(begin) & ~uintptr_t(kCacheLine - 1);
    const auto last = reinterpret_cast<uintptr_t>(begin) + size - 1;
    for (uintptr_t line = first; line <= last; line += kCacheLine)
        __builtin_prefetch(reinterpret_cast<const void*>(line), kWrite);
}

inline void PrefetchBytes(const void* begin, std::size_t size) {
    PrefetchLines<0>(begin, size);
}

inline void PrefetchBytesForWrite(const void* begin, std::size_t size) {
    PrefetchLines<1>(begin, size);
}

template <typename T>
void PrefetchObject(const T* object) {
    PrefetchBytes(object, sizeof(T));
}

template <typename T>
void PrefetchRange(const T* begin, const T* end) {
    constexpr std::size_t kMaxLines = 4;
    if (begin < end)
        PrefetchBytes(begin,
                      std::min(std::size_t(end - begin) * sizeof(T), kMaxLines * kCacheLine));
}

} // namespace vessaro
