#pragma once

#include "CMsgQueue.h"
#include "MessageLog.h"

#include <chrono>
#include <optional>
#include <poll.h>

// Takes the next message from a queue without blocking the test for ever.
inline std::optional<Bytes>
TakeFromQueue(vessaro::CMsgQueue& queue,
              std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    pollfd fd{queue.ReceiveSocket(), POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(timeout.count())) != 1)
        return std::nullopt;
    Bytes buffer(4096);
    int n = queue.Recv(buffer.data(), static_cast<int>(buffer.size()));
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buffer;
}
