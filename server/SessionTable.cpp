#include "SessionTable.h"

namespace vessaro {

SessionTable::SessionTable(std::size_t maxSessions, std::size_t maxPerAddress,
                           int64_t closedMemoryMs, std::size_t maxClosedRemembered)
    : maxSessions_(maxSessions), maxPerAddress_(maxPerAddress), closedMemoryMs_(closedMemoryMs),
      maxClosed_(maxClosedRemembered) {}

void SessionTable::SetLimits(std::size_t maxSessions, std::size_t maxPerAddress,
                             int64_t closedMemoryMs, std::size_t maxClosedRemembered) {
    maxSessions_ = maxSessions;
    maxPerAddress_ = maxPerAddress;
    closedMemoryMs_ = closedMemoryMs;
    maxClosed_ = maxClosedRemembered;
}

SessionTable::Refusal SessionTable::CheckLimits(const Endpoint& endpoint) const {
    if (sessions_.size() >= maxSessions_)
        return Refusal::Full;
    auto count = perAddress_.find(HostKey(endpoint));
    if ((count == perAddress_.end() ? 0 : count->second) >= maxPerAddress_)
        return Refusal::AddressLimit;
    return Refusal::None;
}

Session& SessionTable::Open(int32_t id, const Endpoint& endpoint, int64_t nowMs) {
    auto session = std::make_unique<Session>();
    session->id = id;
    session->endpoint = endpoint;
    session->lastHeardMs = nowMs;
    Session& ref = *session;
    sessions_.emplace(id, std::move(session));
    byEndpoint_[endpoint] = id;
    ++perAddress_[HostKey(endpoint)];
    return ref;
}

void SessionTable::Close(int32_t id, int64_t nowMs) {
    auto it = sessions_.find(id);
    if (it == sessions_.end())
        return;
    const Endpoint endpoint = it->second->endpoint;
    byEndpoint_.erase(endpoint);
    auto count = perAddress_.find(HostKey(endpoint));
    if (--count->second == 0)
        perAddress_.erase(count);
    sessions_.erase(it);

    if (maxClosed_ == 0)
        return;
    while (closed_.size() >= maxClosed_ && !closedOrder_.empty()) {
        closed_.erase(closedOrder_.front());
        closedOrder_.pop_front();
    }
    closed_[id] = Closed{endpoint, nowMs};
    closedOrder_.push_back(id);
}

Session* SessionTable::Find(int32_t id) {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : it->second.get();
}

Session* SessionTable::FindByEndpoint(const Endpoint& endpoint) {
    auto it = byEndpoint_.find(endpoint);
    return it == byEndpoint_.end() ? nullptr : Find(it->second);
}

bool SessionTable::IsTaken(int32_t id) const {
    return sessions_.count(id) != 0 || closed_.count(id) != 0;
}

bool SessionTable::WasClosedFrom(int32_t id, const Endpoint& endpoint) const {
    auto it = closed_.find(id);
    return it != closed_.end() && it->second.endpoint == endpoint;
}

void SessionTable::ForgetClosed(int64_t nowMs) {
    while (!closedOrder_.empty()) {
        auto it = closed_.find(closedOrder_.front());
        if (it != closed_.end() && nowMs - it->second.closedMs < closedMemoryMs_)
            break;
        if (it != closed_.end())
            closed_.erase(it);
        closedOrder_.pop_front();
    }
}

void SessionTable::Clear() {
    sessions_.clear();
    byEndpoint_.clear();
    perAddress_.clear();
    closed_.clear();
    closedOrder_.clear();
}

} // namespace vessaro
