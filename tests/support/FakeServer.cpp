#include "FakeServer.h"

namespace vessaro::test {

std::optional<Bytes> FakeServer::Expect(int32_t type, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        std::optional<Bytes> message = Receive(left);
        if (!message)
            return std::nullopt;
        if (!message->empty() && DatagramView(*message).type() == type)
            return message;
    }
}

} // namespace vessaro::test
