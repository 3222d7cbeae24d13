#pragma once

#include "ClientEngine.h"

#include <mutex>

namespace vessaro {

// Holds the engine's lock for its lifetime: the dispatcher for each whole message, the interface
// calls from their state check to the end of their transition.
class EngineLock {
public:
    explicit EngineLock(const ClientEngine& engine) : lock_(engine.mutex_) {}
    EngineLock(const EngineLock&) = delete;
    EngineLock& operator=(const EngineLock&) = delete;

private:
    std::lock_guard<std::mutex> lock_;
};

} // namespace vessaro
