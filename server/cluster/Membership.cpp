#include "Membership.h"

namespace vessaro::cluster {

void Membership::GoDown(uint16_t node, MembershipChange& change) {
    Node& n = nodes_[node];
    if (n.live)
        change.down.push_back(node);
    n.live = false;
    n.goneEpoch = std::max(n.goneEpoch, n.epoch);
}

void Membership::NewLife(uint16_t node, uint64_t epoch, MembershipChange& change) {
    Node& n = nodes_[node];
    if (n.live) {
        change.down.push_back(node);
        n.goneEpoch = n.epoch;
    }
    n.live = true;
    n.epoch = epoch;
    n.sequence = 0;
    change.joined.push_back(node);
}

Membership::Verdict Membership::Admit(const FrameHeader& h, MembershipChange& change) {
    if (h.sender == self_)
        return Verdict::Own;
    if (!Known(h.sender) || (h.destination != 0 && h.destination != self_) ||
        h.kind == FrameKind::WaiterEntry || h.kind == FrameKind::Liveness)
        return Verdict::Refuse;
    Node& n = nodes_[h.sender];
    if (h.epoch < n.epoch || h.epoch <= n.goneEpoch)
        return Verdict::Refuse;
    if (h.epoch > n.epoch) {
        NewLife(h.sender, h.epoch, change);
    } else if (h.sequence <= n.sequence) {
        return Verdict::Refuse;
    } else if (!n.live) {
        n.live = true;
        change.joined.push_back(h.sender);
    }
    n.sequence = h.sequence;
    return Verdict::Take;
}

bool Membership::AdmitEntry(const FrameHeader& h) const {
    return h.kind == FrameKind::WaiterEntry && Known(h.sender) && nodes_[h.sender].live &&
           h.epoch == nodes_[h.sender].epoch;
}

MembershipChange Membership::OnLeave(uint16_t node) {
    MembershipChange change;
    if (Known(node))
        GoDown(node, change);
    return change;
}

MembershipChange
Membership::OnScan(const std::array<std::optional<LivenessRecord>, kMaxNodes + 1>& records) {
    MembershipChange change;
    for (uint16_t node = 1; node <= kMaxNodes; ++node) {
        if (!Known(node))
            continue;
        Node& n = nodes_[node];
        const std::optional<LivenessRecord>& record = records[node];
        if (!record || record->epoch < n.epoch || record->epoch <= n.goneEpoch) {
            GoDown(node, change);
            continue;
        }
        if (record->epoch > n.epoch) {
            NewLife(node, record->epoch, change);
        } else if (!n.live) {
            n.live = true;
            change.joined.push_back(node);
        }
        n.address = record->address;
    }
    return change;
}

void Membership::Forget() {
    for (Node& n : nodes_)
        n.live = false;
}

std::size_t Membership::LiveCount() const {
    std::size_t count = 1;
    for (uint16_t node = 1; node <= kMaxNodes; ++node)
        count += Live(node) ? 1 : 0;
    return count;
}

} // namespace vessaro::cluster
