#pragma once

#include "HugePageResource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vessaro {

// Objects in fixed-size chunks, known by index: taking one reuses a freed place or the next new
// one, so there is no allocation per object (one per chunk), and an object never moves while it
// is held, whatever is taken or given back meanwhile.
template <typename T, std::size_t kChunk = 4096>
class Slab {
public:
    // The index of a value-initialised object.
    uint32_t Take() {
        uint32_t index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else {
            if (end_ == chunks_.size() * kChunk)
                chunks_.push_back(NewChunk());
            index = end_++;
        }
        ++live_;
        return index;
    }

    // Resets the object (freeing what it owns) and keeps its place for the next Take.
    void Give(uint32_t index) {
        (*this)[index] = T{};
        free_.push_back(index);
        --live_;
    }

    T& operator[](uint32_t index) { return chunks_[index / kChunk][index % kChunk]; }
    const T& operator[](uint32_t index) const { return chunks_[index / kChunk][index % kChunk]; }

    std::size_t size() const { return live_; }
    std::size_t capacity() const { return chunks_.size() * kChunk; }

    void Clear() {
        chunks_.clear();
        free_.clear();
        end_ = 0;
        live_ = 0;
    }

private:
    struct ChunkDeleter {
        void operator()(T* chunk) const {
            std::destroy_n(chunk, kChunk);
            HugePageResource::Get()->deallocate(chunk, kChunk * sizeof(T), alignof(T));
        }
    };
    using Chunk = std::unique_ptr<T[], ChunkDeleter>;

    static Chunk NewChunk() {
        T* chunk =
            static_cast<T*>(HugePageResource::Get()->allocate(kChunk * sizeof(T), alignof(T)));
        try {
            std::uninitialized_value_construct_n(chunk, kChunk);
        } catch (...) {
            HugePageResource::Get()->deallocate(chunk, kChunk * sizeof(T), alignof(T));
            throw;
        }
        return Chunk(chunk);
    }

    std::vector<Chunk> chunks_;
    std::vector<uint32_t> free_;
    uint32_t end_ = 0; // places below this have been handed out at least once
    std::size_t live_ = 0;
};

} // namespace vessaro
