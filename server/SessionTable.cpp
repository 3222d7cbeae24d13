#include "SessionTable.h"

namespace vessaro {

SessionTable::SessionTable(std::size_t maxSessions, std::size_t maxPerAddress,
                           int64_t closedMemoryMs, std::size_t maxClosedRemembered,
                           uint64_t hashSeed)
    : maxSessions_(maxSessions), maxPerAddress_(maxPerAddress), closedMemoryMs_(closedMemoryMs),
      maxClosed_(maxClosedRemembered), byEndpoint_(EndpointMixHash{hashSeed}),
      perAddress_(AddressMixHash{MixBits(hashSeed)}) {}

void SessionTable::SetLimits(std::size_t maxSessions, std::size_t maxPerAddress,
                             int64_t closedMemoryMs, std::size_t maxClosedRemembered) {
    maxSessions_ = maxSessions;
    maxPerAddress_ = maxPerAddress;
    closedMemoryMs_ = closedMemoryMs;
    maxClosed_ = maxClosedRemembered;
}

SessionTable::Refusal SessionTable::CheckLimits(const Endpoint& endpoint) const {
    if (byId_.size() >= maxSessions_)
        return Refusal::Full;
    const uint32_t* count = perAddress_.Find(HostKey(endpoint));
    if ((count ? *count : 0) >= maxPerAddress_)
        return Refusal::AddressLimit;
    return Refusal::None;
}

Session& SessionTable::Open(int32_t id, const Endpoint& endpoint, int64_t nowMs) {
    const uint32_t place = slab_.Take();
    Session& session = slab_[place];
    session.id = id;
    session.endpoint = endpoint;
    session.lastHeardMs = nowMs;
    byId_.Get(id) = place;
    byEndpoint_.Get(endpoint) = place;
    ++perAddress_.Get(HostKey(endpoint));
    return session;
}

void SessionTable::Close(int32_t id, int64_t nowMs) {
    const uint32_t* found = byId_.Find(id);
    if (!found)
        return;
    const uint32_t place = *found;
    Session& session = slab_[place];
    const Endpoint endpoint = session.endpoint;
    if (session.records != 0)
        records_.Give(session.records - 1);
    byId_.Erase(id);
    byEndpoint_.Erase(endpoint);
    uint32_t* count = perAddress_.Find(HostKey(endpoint));
    if (count && --*count == 0)
        perAddress_.Erase(HostKey(endpoint));
    slab_.Give(place);

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
    const uint32_t* place = byId_.Find(id);
    return place ? &slab_[*place] : nullptr;
}

Session* SessionTable::FindByEndpoint(const Endpoint& endpoint) {
    const uint32_t* place = byEndpoint_.Find(endpoint);
    return place ? &slab_[*place] : nullptr;
}

bool SessionTable::IsTaken(int32_t id) const {
    return byId_.Find(id) != nullptr || closed_.count(id) != 0;
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

SessionRecords& SessionTable::RecordsOf(Session& session) {
    if (session.records == 0)
        session.records = records_.Take() + 1;
    return records_[session.records - 1];
}

const SessionRecords& SessionTable::RecordsOf(const Session& session) const {
    static const SessionRecords kNone;
    return session.records == 0 ? kNone : records_[session.records - 1];
}

void SessionTable::Clear() {
    slab_.Clear();
    records_.Clear();
    byId_.Clear();
    byEndpoint_.Clear();
    perAddress_.Clear();
    closed_.clear();
    closedOrder_.clear();
}

} // namespace vessaro
