#include "MinimalForwarder.h"

#include <array>
#include <sys/socket.h>
#include <sys/time.h>

namespace vessaro::bench {

MinimalForwarder::MinimalForwarder() {
    socket_.SetBlocking(true);
    timeval wake{0, 100000}; // to notice the stop
    setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
    int size = 4 << 20;
    setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(socket_.fd(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    thread_ = std::thread([this] { Run(); });
}

MinimalForwarder::~MinimalForwarder() {
    stop_ = true;
    thread_.join();
}

void MinimalForwarder::AddPair(const UdpAddress& a, const UdpAddress& b) {
    std::lock_guard lock(mutex_);
    partners_[Key(a)] = b;
    partners_[Key(b)] = a;
}

void MinimalForwarder::Run() {
    std::array<uint8_t, 4096> buffer;
    while (!stop_.load(std::memory_order_relaxed)) {
        UdpAddress from;
        std::optional<std::size_t> n = socket_.Receive(buffer, &from);
        if (!n)
            continue;
        UdpAddress to;
        {
            std::lock_guard lock(mutex_);
            auto it = partners_.find(Key(from));
            if (it == partners_.end())
                continue;
            to = it->second;
        }
        if (socket_.SendTo(to, std::span<const uint8_t>(buffer.data(), *n)))
            forwarded_.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace vessaro::bench
