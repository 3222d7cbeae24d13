// Address proof: what the server does for an endpoint between its connect and the first datagram
// that comes back from it carrying the granted id.
#include "MatchServer.h"

#include <algorithm>

namespace vessaro {
namespace {

// An unproven endpoint gets as many acknowledgements as a client sends connects (three, 1 s
// apart) and its notice copies: at most 3 x 40 + 3 x 296 = 1008 bytes however often it connects.
constexpr int kUnprovenAcksPerEndpoint = 3;

} // namespace

void MatchServer::GrantUnproven(const Endpoint& from, int64_t nowMs) {
    if (UnprovenTable::Entry* entry = unproven_.Find(from)) {
        if (entry->acksSent >= kUnprovenAcksPerEndpoint) {
            ++stats_.droppedUnprovenBudget;
            return;
        }
        if (SendUnproven(from, entry, BuildConnectAck(entry->id, 1), nowMs))
            ++entry->acksSent;
        return;
    }
    const SessionTable::Refusal refusal = sessions_.CheckLimits(from);
    if (refusal == SessionTable::Refusal::AddressLimit)
        ++stats_.refusedPerAddress;
    int32_t id = 0;
    for (int variant = 0;
         refusal == SessionTable::Refusal::None && variant < ProofCookie::kVariants; ++variant) {
        const int32_t candidate = cookie_.Grant(from, nowMs, config_.unprovenLifetimeMs, variant);
        // Nor an id granted to another endpoint that has yet to prove it: whichever proved it
        // first would lock the other out for good.
        if (candidate != 0 && !sessions_.IsTaken(candidate) && !unproven_.HoldsId(candidate)) {
            id = candidate;
            break;
        }
    }
    if (id == 0) {
        // Full, or (once in many billions) every variant of the id is in use: refused.
        if (refusal != SessionTable::Refusal::AddressLimit)
            ++stats_.refusedFull;
        SendUnproven(from, nullptr, BuildConnectAck(0, 0), nowMs);
        return;
    }
    // Nothing is remembered of an endpoint whose network has used up its budget.
    const auto ack = BuildConnectAck(id, 1);
    if (!SendUnproven(from, nullptr, ack, nowMs))
        return;
    UnprovenTable::Entry& entry = unproven_.Add(from, id, nowMs);
    entry.acksSent = 1;
    entry.bytesSent = uint16_t(ack.size());
    SendUnproven(from, &entry, BuildNotice(id, config_.noticeUrl, 0), nowMs);
}

// The session of a datagram whose id is no open session: opened when the id is the one granted to
// this endpoint (remembered, or shown by the cookie) and is free, and the limits allow it.
Session* MatchServer::OpenIfProven(const Endpoint& from, int32_t id, int64_t nowMs) {
    if (id == 0 || sessions_.FindByEndpoint(from) || sessions_.IsTaken(id))
        return nullptr;
    const UnprovenTable::Entry* entry = unproven_.Find(from);
    const bool remembered =
        entry && entry->id == id && nowMs - entry->grantedMs < config_.unprovenLifetimeMs;
    if (!remembered && !cookie_.Proves(from, id, nowMs, config_.unprovenLifetimeMs))
        return nullptr;
    // What this endpoint was sent, it asked for: its network's budget for unproven replies is
    // there to protect victims of forged addresses, not to hold back real clients behind one NAT.
    if (entry)
        networkBudget_.Refund(NetworkKey(from), entry->bytesSent);
    unproven_.Remove(from);
    switch (sessions_.CheckLimits(from)) {
    case SessionTable::Refusal::Full:
        ++stats_.refusedFull;
        return nullptr;
    case SessionTable::Refusal::AddressLimit:
        ++stats_.refusedPerAddress;
        return nullptr;
    case SessionTable::Refusal::None:
        break;
    }
    Session& session = sessions_.Open(id, from, nowMs);
    session.texts = TokenBucket(textBurst_, nowMs);
    ScheduleNotice(session, nowMs);
    timers_.Push(nowMs + config_.sessionTimeoutMs, Timer{TimerKind::Reap, id, 0});
    return &session;
}

// Sends to an endpoint that has not proven its address, within the byte budget of its network;
// false when the datagram was dropped instead. What goes to a remembered endpoint is counted, so
// that its network gets it back if the endpoint proves itself.
bool MatchServer::SendUnproven(const Endpoint& to, UnprovenTable::Entry* entry,
                               std::span<const uint8_t> datagram, int64_t nowMs) {
    if (!networkBudget_.Allow(NetworkKey(to), nowMs, double(datagram.size()))) {
        ++stats_.droppedUnprovenBudget;
        return false;
    }
    if (entry)
        entry->bytesSent = uint16_t(entry->bytesSent + datagram.size());
    Send(to, datagram);
    return true;
}

void MatchServer::SendUnprovenCopies(int64_t nowMs) {
    unproven_.TakeDueCopies(nowMs, [&](UnprovenTable::Entry& entry) {
        SendUnproven(entry.endpoint, &entry, BuildNotice(entry.id, config_.noticeUrl, 0), nowMs);
    });
}

// The first notice goes with the acknowledgement; the others follow after 2 s, 6 s, 14 s …: a
// loss that takes one copy (a burst lasts well under a second) does not take the next, and the
// growing gaps spend the few copies over the time in which the grant can still be proven. A copy
// is kept only if its answer has a second to come back before the grant may expire.
std::vector<int64_t> MatchServer::NoticeCopyOffsets() const {
    const int64_t provable = 2 * std::max<int64_t>(1, config_.unprovenLifetimeMs / 3);
    std::vector<int64_t> offsets;
    int64_t gap = 2000;
    for (int copy = 1; copy < config_.unprovenNoticeCopies; ++copy) {
        const int64_t offset = (offsets.empty() ? 0 : offsets.back()) + gap;
        if (offset + 1000 > provable)
            break;
        offsets.push_back(offset);
        gap *= 2;
    }
    return offsets;
}

void MatchServer::ApplyProofLimits() {
    networkBudget_.SetLimits(config_.unprovenBytesPerSecondPerNetwork, config_.maxTrackedNetworks);
    const double interval = double(std::max<int64_t>(1, config_.unknownSessionReplyIntervalMs));
    unknownReplies_.SetLimits(1000.0 / interval, config_.maxTrackedAddresses, 1.0);
}

} // namespace vessaro
