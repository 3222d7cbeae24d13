#include "ImpairmentProxy.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <poll.h>

namespace vessaro::test {
namespace {

int32_t WireI32(const std::vector<uint8_t>& wire, std::size_t offset) {
    uint8_t plain[4];
    for (int i = 0; i < 4; ++i)
        plain[i] = uint8_t(~wire[offset + i]);
    int32_t value;
    std::memcpy(&value, plain, 4);
    return value;
}

} // namespace

ImpairmentProxy::ImpairmentProxy(uint16_t serverPort, Impairment toServer, Impairment toClient,
                                 uint32_t seed)
    : serverPort_(serverPort), impair_{toClient, toServer}, random_(seed) {
    thread_ = std::thread([this] { Run(); });
}

ImpairmentProxy::~ImpairmentProxy() {
    stop_ = true;
    thread_.join();
}

ImpairmentProxy::Counts ImpairmentProxy::toServer() const {
    std::lock_guard lock(countsMutex_);
    return counts_[1];
}

ImpairmentProxy::Counts ImpairmentProxy::toClient() const {
    std::lock_guard lock(countsMutex_);
    return counts_[0];
}

void ImpairmentProxy::Run() {
    while (!stop_) {
        int timeoutMs = 20;
        if (!pending_.empty()) {
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                pending_.begin()->first - Clock::now());
            timeoutMs = std::clamp<int>(int(wait.count()), 0, 20);
        }
        pollfd ready[2] = {{clientSide_.descriptor(), POLLIN, 0},
                           {serverSide_.descriptor(), POLLIN, 0}};
        if (::poll(ready, 2, timeoutMs) > 0) {
            if (ready[0].revents & POLLIN)
                Receive(clientSide_, true);
            if (ready[1].revents & POLLIN)
                Receive(serverSide_, false);
        }
        SendDue();
    }
}

void ImpairmentProxy::Receive(UdpPeer& socket, bool toServer) {
    std::optional<std::vector<uint8_t>> bytes = socket.Receive(std::chrono::milliseconds(0));
    if (!bytes || bytes->empty())
        return;
    if (toServer) {
        clientPort_ = socket.lastSenderPort();
        NoteIds(*bytes);
    } else if (socket.lastSenderPort() != serverPort_) {
        return; // only the server's datagrams are relayed to the client
    }
    const Impairment& impair = impair_[toServer];
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::lock_guard lock(countsMutex_);
    Counts& counts = counts_[toServer];
    if (chance(random_) < impair.drop) {
        ++counts.dropped;
        return;
    }
    ++counts.forwarded;
    Schedule(toServer, *bytes);
    if (chance(random_) < impair.duplicate) {
        ++counts.duplicated;
        Schedule(toServer, *bytes);
    }
}

void ImpairmentProxy::Schedule(bool toServer, const std::vector<uint8_t>& bytes) {
    int maxDelay = impair_[toServer].maxDelayMs;
    int delay = maxDelay > 0 ? std::uniform_int_distribution<int>(0, maxDelay)(random_) : 0;
    pending_.emplace(Clock::now() + std::chrono::milliseconds(delay), Pending{toServer, bytes});
}

void ImpairmentProxy::SendDue() {
    auto now = Clock::now();
    while (!pending_.empty() && pending_.begin()->first <= now) {
        Pending& p = pending_.begin()->second;
        if (p.toServer)
            serverSide_.SendTo(serverPort_, p.bytes);
        else if (clientPort_ != 0)
            clientSide_.SendTo(clientPort_, p.bytes);
        pending_.erase(pending_.begin());
    }
}

void ImpairmentProxy::NoteIds(const std::vector<uint8_t>& wire) {
    if (wire.size() < 16)
        return;
    if (int32_t session = WireI32(wire, 8))
        sessionId_ = session;
    if (int32_t conversation = WireI32(wire, 12))
        conversationId_ = conversation;
}

} // namespace vessaro::test
