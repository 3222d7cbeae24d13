// The core on a node of a cluster: one pool shared with the other nodes, pairings with users of
// other nodes decided by the node that holds the waiting user, and conversations between users
// of two nodes, each node serving its own user.
#include "MatchServer.h"

#include "ByteOrder.h"
#include "cluster/NodeIds.h"

#include <cstring>
#include <utility>

namespace vessaro {
namespace {

using cluster::NodeMessage;
using Kind = NodeMessage::Kind;

// A claim that gets no answer (the message or the node was lost without the cluster noticing yet)
// is given up after this long, and the seeker looks again. The answer may still come, only late:
// a grant that finds the seeker still waiting for the same request is taken all the same.
constexpr int64_t kClaimTimeoutMs = 5000;

cluster::WaiterRecords RecordsBytes(const SessionRecords& records) {
    cluster::WaiterRecords bytes{};
    StoreProfile(bytes.data(), records.profile);
    StoreRequirement(bytes.data() + kUserProfileSize, records.requirement);
    return bytes;
}

MatchCandidate CandidateOf(const cluster::WaiterRecords& bytes) {
    return MatchCandidate::From(LoadProfile(bytes.data()),
                                LoadRequirement(bytes.data() + kUserProfileSize));
}

bool IsOtherNode(uint16_t node, uint16_t self) {
    return node != 0 && node <= cluster::kMaxNodes && node != self;
}

} // namespace

bool MatchServer::AttachCluster(cluster::ClusterPort* port) {
    const uint16_t node = port ? port->SelfNode() : 0;
    if (port && (node == 0 || node > cluster::kMaxNodes))
        return false;
    cluster_ = port;
    selfNode_ = node;
    cookie_.SetNode(node);
    return true;
}

void MatchServer::OnClusterEvent(const cluster::ClusterEvent& event, int64_t nowMs) {
    using EventKind = cluster::ClusterEvent::Kind;
    if (!cluster_)
        return;
    bool accepted = true;
    switch (event.kind) {
    case EventKind::WaiterAdvertised:
        ++stats_.clusterMessagesIn;
        accepted = OnWaiterAdvertised(event.node, event.ad, nowMs);
        break;
    case EventKind::WaiterWithdrawn:
        ++stats_.clusterMessagesIn;
        accepted =
            IsOtherNode(event.node, selfNode_) && cluster::NodeOfId(event.sessionId) == event.node;
        if (accepted)
            ForgetRemoteWaiter(event.sessionId);
        break;
    case EventKind::NodeMessage:
        ++stats_.clusterMessagesIn;
        accepted = OnNodeMessage(event.node, event.message, nowMs);
        break;
    case EventKind::NodeDown:
        if (IsOtherNode(event.node, selfNode_))
            OnNodeGone(event.node, nowMs);
        break;
    case EventKind::Lost:
        OnNodeGone(0, nowMs);
        break;
    case EventKind::Joined:
        Readvertise();
        break;
    }
    if (!accepted)
        ++stats_.clusterMessagesRefused;
}

// Takes a user out of the pool; a user of this node is withdrawn from the others' pools too.
void MatchServer::Unlist(int32_t sessionId) {
    if (!pool_.Contains(sessionId))
        return;
    pool_.Remove(sessionId);
    if (cluster_ && !remoteWaiters_.count(sessionId))
        cluster_->Withdraw(sessionId);
}

// On a node the ids carry the node's number, so that they are unique across the cluster.
int32_t MatchServer::DrawConversationId() {
    const uint32_t candidate = random_();
    return cluster_ ? cluster::WithNode(candidate, selfNode_) : int32_t(candidate);
}

int32_t MatchServer::NewConversationId(int32_t drawn) {
    int32_t id = drawn;
    for (int tries = 0; id == 0 || conversations_.Find(id); ++tries) {
        const uint32_t candidate = tries < 16 ? random_() : uint32_t(id) + 1;
        id = cluster_ ? cluster::WithNode(candidate, selfNode_) : int32_t(candidate);
    }
    return id;
}

// The search of one node, over the users of every node: same topic first, then, once the seeker
// may take any topic, anyone who may too. A partner of this node is offered at once; a partner of
// another node is claimed from it. keepArrival: the seeker waited already and keeps its place.
void MatchServer::SeekInCluster(Session& session, bool keepArrival, int64_t nowMs) {
    Unlist(session.id);
    if (!keepArrival)
        session.arrival = 0;
    const MatchCandidate candidate =
        MatchCandidate::From(sessions_.RecordsOf(std::as_const(session)).profile,
                             sessions_.RecordsOf(std::as_const(session)).requirement);
    const bool relaxed =
        config_.anyTopicAfterMs <= 0 || nowMs - session.requestMs >= config_.anyTopicAfterMs;
    std::optional<int32_t> partner = pool_.FindSameTopic(candidate);
    if (!partner && relaxed)
        partner = pool_.FindRelaxed(candidate);
    if (!partner) {
        WaitInCluster(session, relaxed);
    } else if (Session* local = sessions_.Find(*partner)) {
        StartOffer(*local, session, nowMs);
    } else {
        Claim(session, *partner, nowMs);
    }
}

void MatchServer::WaitInCluster(Session& session, bool relaxed) {
    const SessionRecords& records = sessions_.RecordsOf(std::as_const(session));
    session.state = SessionState::Waiting;
    if (session.arrival == 0)
        session.arrival = cluster_->NextArrival();
    pool_.Add(session.id, MatchCandidate::From(records.profile, records.requirement),
              session.arrival);
    if (relaxed)
        pool_.Relax(session.id);
    else
        timers_.Push(session.requestMs + config_.anyTopicAfterMs,
                     Timer{TimerKind::Relax, session.id, session.arrival});
    Advertise(session, relaxed);
}

void MatchServer::OnRelaxDueInCluster(const Timer& timer, int64_t nowMs) {
    Session* session = sessions_.Find(timer.id);
    if (!session || session->state != SessionState::Waiting || session->arrival != timer.serial ||
        pool_.IsRelaxed(session->id))
        return;
    const SessionRecords& records = sessions_.RecordsOf(std::as_const(*session));
    const MatchCandidate candidate = MatchCandidate::From(records.profile, records.requirement);
    const std::optional<int32_t> partner = pool_.FindRelaxed(candidate);
    if (!partner) {
        pool_.Relax(session->id);
        Advertise(*session, true);
    } else if (Session* local = sessions_.Find(*partner)) {
        StartOffer(*local, *session, nowMs);
    } else {
        Unlist(session->id);
        Claim(*session, *partner, nowMs);
    }
}

// The waiter leaves this node's pool while the claim is out: a refusal means it no longer waits,
// and if it waits again its node advertises it anew.
void MatchServer::Claim(Session& seeker, int32_t waiterId, int64_t nowMs) {
    const auto found = remoteWaiters_.find(waiterId);
    const RemoteWaiter waiter = found->second;
    remoteWaiters_.erase(found);
    pool_.Remove(waiterId);
    seeker.state = SessionState::Claiming;
    seeker.claimed = waiterId;
    seeker.claimSerial = nextSerial_++;
    NodeMessage claim;
    claim.kind = Kind::Claim;
    claim.from = seeker.id;
    claim.to = waiterId;
    claim.arrival = waiter.arrival;
    claim.records = RecordsBytes(sessions_.RecordsOf(std::as_const(seeker)));
    SendToNode(waiter.node, claim);
    ++stats_.clusterClaimsSent;
    timers_.Push(nowMs + kClaimTimeoutMs,
                 Timer{TimerKind::ClaimEnd, seeker.id, seeker.claimSerial});
}

void MatchServer::OnClaimDue(const Timer& timer, int64_t nowMs) {
    Session* seeker = sessions_.Find(timer.id);
    if (!seeker || seeker->state != SessionState::Claiming || seeker->claimSerial != timer.serial)
        return;
    ++stats_.clusterClaimsLost;
    ClaimFailed(*seeker, nowMs, true);
}

// lapsed: no answer came in time. The waiter's node may yet grant the claim, so the seeker
// remembers whom it asked for (until it asks anew or is paired otherwise); a grant that arrives
// while it still waits for the same request then pairs the two instead of leaving the waiter
// offered a partner who is not coming.
void MatchServer::ClaimFailed(Session& seeker, int64_t nowMs, bool lapsed) {
    seeker.state = SessionState::Idle;
    if (!lapsed)
        seeker.claimed = 0;
    SeekInCluster(seeker, true, nowMs);
}

void MatchServer::Advertise(const Session& session, bool relaxed) {
    cluster::WaiterAd ad;
    ad.sessionId = session.id;
    ad.node = selfNode_;
    ad.arrival = session.arrival;
    ad.relaxed = relaxed;
    ad.records = RecordsBytes(sessions_.RecordsOf(session));
    cluster_->Advertise(ad);
}

void MatchServer::Readvertise() {
    std::vector<int32_t> waiting;
    sessions_.ForEach([&](const Session& session) {
        if (session.state == SessionState::Waiting)
            waiting.push_back(session.id);
    });
    for (int32_t id : waiting)
        Advertise(*sessions_.Find(id), pool_.IsRelaxed(id));
}

// A user of another node waits (or may now take any topic). It joins this node's pool under its
// own arrival stamp, so that every search here weighs it like a user of this node.
bool MatchServer::OnWaiterAdvertised(uint16_t from, const cluster::WaiterAd& ad, int64_t nowMs) {
    if (!IsOtherNode(ad.node, selfNode_) || (from != 0 && from != ad.node) ||
        cluster::NodeOfId(ad.sessionId) != ad.node || ad.arrival == 0)
        return false;
    pool_.Remove(ad.sessionId); // listed anew below, after the search that leaves it out
    remoteWaiters_[ad.sessionId] = RemoteWaiter{ad.node, ad.arrival};
    ListRemoteWaiter(ad, CandidateOf(ad.records), nowMs);
    return true;
}

// Lists a user of another node. Had it been here when this node's users searched, a user who came
// later and fits it would have been paired with it (or with someone better): such users search
// again, the best fit first, until none is left. Users of this node who waited longer are left
// alone: the advertised user's node does the same when it learns of them, so exactly one side
// acts on a pair of advertisements that crossed.
void MatchServer::ListRemoteWaiter(const cluster::WaiterAd& ad, const MatchCandidate& candidate,
                                   int64_t nowMs) {
    const int32_t id = ad.sessionId;
    const bool relaxed = ad.relaxed;
    // Equal stamps from two nodes are told apart by the node numbers, so that one side acts.
    auto waitedLonger = [&](const Session& local) {
        return std::pair(local.arrival, selfNode_) < std::pair(ad.arrival, ad.node);
    };
    while (true) {
        std::optional<int32_t> fit = pool_.FindSameTopic(candidate);
        if (!fit && relaxed)
            fit = pool_.FindRelaxed(candidate);
        pool_.Add(id, candidate, ad.arrival);
        if (relaxed)
            pool_.Relax(id);
        Session* newer = fit ? sessions_.Find(*fit) : nullptr;
        if (!newer || newer->state != SessionState::Waiting || waitedLonger(*newer))
            return;
        SeekInCluster(*newer, true, nowMs);
        // Claimed by the newer user, or that user found no one after all: nothing more to do.
        if (newer->state == SessionState::Waiting || !pool_.Contains(id))
            return;
        pool_.Remove(id);
    }
}

void MatchServer::ForgetRemoteWaiter(int32_t id) {
    if (remoteWaiters_.erase(id))
        pool_.Remove(id);
}

// Every node message names a user of the sender and a user of this node; a message that does not
// is refused, whatever the transport vouched for.
bool MatchServer::OnNodeMessage(uint16_t from, std::span<const uint8_t> bytes, int64_t nowMs) {
    if (!IsOtherNode(from, selfNode_))
        return false;
    const cluster::NodeMessageParse parsed = cluster::ParseNodeMessage(bytes);
    if (!parsed.ok())
        return false;
    const NodeMessage& message = parsed.message;
    if (cluster::NodeOfId(message.from) != from || cluster::NodeOfId(message.to) != selfNode_)
        return false;
    switch (message.kind) {
    case Kind::Claim:
        return OnClaim(from, message, nowMs);
    case Kind::Grant:
        return OnGrant(from, message, nowMs);
    case Kind::Refuse:
        return OnRefuse(message, nowMs);
    case Kind::Accepted:
    case Kind::Text:
    case Kind::End:
        return OnPartnerNodeMessage(from, message, nowMs);
    }
    return false;
}

// Another node's seeker asks for a user of this node. Granted only while the user still waits as
// advertised; then the user is offered here at once, and the conversation is kept on both nodes.
bool MatchServer::OnClaim(uint16_t from, const NodeMessage& claim, int64_t nowMs) {
    Session* waiter = sessions_.Find(claim.to);
    if (!waiter || waiter->state != SessionState::Waiting || waiter->arrival != claim.arrival) {
        NodeMessage refuse;
        refuse.kind = Kind::Refuse;
        refuse.from = claim.to;
        refuse.to = claim.from;
        refuse.arrival = claim.arrival;
        SendToNode(from, refuse);
        ++stats_.clusterClaimsRefused;
        return true;
    }
    Unlist(waiter->id);
    Conversation conversation;
    conversation.id = NewConversationId(DrawConversationId());
    conversation.serial = nextSerial_++;
    conversation.sessions = {waiter->id, claim.from};
    conversation.remoteNode = from;
    waiter->state = SessionState::InConversation;
    waiter->conversationId = conversation.id;
    Notify(*waiter, MSG_PARTNER_FOUND, conversation.id,
           BuildPartnerFound(waiter->id, conversation.id, LoadProfile(claim.records.data())),
           config_.partnerFoundCopies, nowMs);
    timers_.Push(nowMs + config_.offerTimeoutMs,
                 Timer{TimerKind::OfferEnd, conversation.id, conversation.serial});
    conversations_.Get(conversation.id) = conversation;

    NodeMessage grant;
    grant.kind = Kind::Grant;
    grant.conversationId = conversation.id;
    grant.from = waiter->id;
    grant.to = claim.from;
    grant.profile = sessions_.RecordsOf(std::as_const(*waiter)).profile;
    SendToNode(from, grant);
    ++stats_.clusterClaimsGranted;
    ++stats_.matchesMade;
    stats_.matchDelay.Observe(double(nowMs - waiter->requestMs));
    return true;
}

// The claim was granted: the seeker is offered the waiter, also when the claim had lapsed and the
// seeker waits again for the same request. A seeker that has moved on meanwhile (cancelled, asked
// anew, paired otherwise, claiming another, gone) ends the offer at once, so the waiter is told
// and freed.
bool MatchServer::OnGrant(uint16_t from, const NodeMessage& grant, int64_t nowMs) {
    if (cluster::NodeOfId(grant.conversationId) != from || FindConversation(grant.conversationId))
        return false;
    ForgetRemoteWaiter(grant.from);
    Session* seeker = sessions_.Find(grant.to);
    const bool stillWants =
        seeker && seeker->claimed == grant.from &&
        (seeker->state == SessionState::Claiming || seeker->state == SessionState::Waiting);
    if (!stillWants) {
        NodeMessage end;
        end.kind = Kind::End;
        end.conversationId = grant.conversationId;
        end.from = grant.to;
        end.to = grant.from;
        SendToNode(from, end);
        return true;
    }
    Unlist(seeker->id); // a lapsed seeker waits again: it leaves every node's pool
    Conversation conversation;
    conversation.id = grant.conversationId;
    conversation.serial = nextSerial_++;
    conversation.sessions = {seeker->id, grant.from};
    conversation.remoteNode = from;
    seeker->state = SessionState::InConversation;
    seeker->conversationId = conversation.id;
    seeker->claimed = 0;
    Notify(*seeker, MSG_PARTNER_FOUND, conversation.id,
           BuildPartnerFound(seeker->id, conversation.id, grant.profile),
           config_.partnerFoundCopies, nowMs);
    timers_.Push(nowMs + config_.offerTimeoutMs,
                 Timer{TimerKind::OfferEnd, conversation.id, conversation.serial});
    conversations_.Get(conversation.id) = conversation;
    ++stats_.clusterClaimsWon;
    stats_.matchDelay.Observe(double(nowMs - seeker->requestMs));
    return true;
}

bool MatchServer::OnRefuse(const NodeMessage& refuse, int64_t nowMs) {
    Session* seeker = sessions_.Find(refuse.to);
    if (seeker && seeker->state == SessionState::Claiming && seeker->claimed == refuse.from) {
        ++stats_.clusterClaimsLost;
        ClaimFailed(*seeker, nowMs);
    }
    return true;
}

// What the partner's node tells about a conversation between its user and one of this node.
bool MatchServer::OnPartnerNodeMessage(uint16_t from, const NodeMessage& message, int64_t nowMs) {
    const uint16_t maker = cluster::NodeOfId(message.conversationId);
    if (maker != from && maker != selfNode_)
        return false;
    Conversation* conversation = FindConversation(message.conversationId);
    if (!conversation)
        return true; // it has ended here meanwhile: the message crossed this node's end
    if (conversation->remoteNode != from || conversation->sessions[0] != message.to ||
        conversation->sessions[1] != message.from)
        return false;
    switch (message.kind) {
    case Kind::Accepted:
        conversation->offerReceived[1] = true;
        conversation->accepted[1] = true;
        if (!conversation->open && conversation->accepted[0])
            OpenConversation(*conversation, nowMs);
        break;
    case Kind::Text: {
        const Session* session = sessions_.Find(message.to);
        if (!conversation->open || !session)
            break;
        cluster::TextDatagram out = message.text;
        StoreI32(out.data() + offsets::kSessionId, session->id);
        StoreI32(out.data() + offsets::kConversationId, conversation->id);
        Send(session->endpoint, out);
        if (DatagramView(out.data(), out.size()).talkSubKind() == TALK_TEXT)
            ++stats_.textsRelayed;
        break;
    }
    case Kind::End:
        conversation->remoteNode = 0; // nothing to tell the node that ended it
        EndConversation(conversation->id, message.from, nowMs);
        break;
    default:
        return false;
    }
    return true;
}

// A node is gone (0: every other node, when the cluster cannot be reached): its waiters leave the
// pool, conversations with its users end as if those users had vanished, and claims sent to it
// are given up, the seekers searching again among who is left.
void MatchServer::OnNodeGone(uint16_t node, int64_t nowMs) {
    auto gone = [node](uint16_t n) { return node == 0 || n == node; };
    for (auto it = remoteWaiters_.begin(); it != remoteWaiters_.end();) {
        if (gone(it->second.node)) {
            pool_.Remove(it->first);
            it = remoteWaiters_.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<int32_t> ended;
    conversations_.ForEach([&](int32_t id, const Conversation& conversation) {
        if (conversation.remoteNode && gone(conversation.remoteNode))
            ended.push_back(id);
    });
    for (int32_t id : ended) {
        FindConversation(id)->remoteNode = 0;
        EndConversation(id, 0, nowMs);
    }
    std::vector<int32_t> claiming;
    sessions_.ForEach([&](const Session& session) {
        if (session.state == SessionState::Claiming && gone(cluster::NodeOfId(session.claimed)))
            claiming.push_back(session.id);
    });
    for (int32_t id : claiming) {
        ++stats_.clusterClaimsLost;
        ClaimFailed(*sessions_.Find(id), nowMs);
    }
}

// The server stops: the other nodes drop its waiters and end its conversations at once, rather
// than when its liveness runs out.
void MatchServer::LeaveCluster() {
    conversations_.ForEach([this](int32_t, const Conversation& conversation) {
        if (conversation.remoteNode)
            TellPartnerNode(conversation, Kind::End);
    });
    sessions_.ForEach([this](const Session& session) {
        if (session.state == SessionState::Waiting)
            cluster_->Withdraw(session.id);
    });
}

// The partner's node learns what became of the conversation here: accepted (Kind::Accepted) or
// ended (Kind::End).
void MatchServer::TellPartnerNode(const Conversation& conversation, Kind kind) {
    NodeMessage message;
    message.kind = kind;
    message.conversationId = conversation.id;
    message.from = conversation.sessions[0];
    message.to = conversation.sessions[1];
    SendToNode(conversation.remoteNode, message);
}

void MatchServer::ForwardText(const Session& session, const Conversation& conversation,
                              const DatagramView& message) {
    NodeMessage text;
    text.kind = Kind::Text;
    text.conversationId = conversation.id;
    text.from = session.id;
    text.to = conversation.sessions[1];
    std::memcpy(text.text.data(), message.bytes(), text.text.size());
    SendToNode(conversation.remoteNode, text);
}

void MatchServer::SendToNode(uint16_t node, const NodeMessage& message) {
    const std::vector<uint8_t> bytes = cluster::EncodeNodeMessage(message);
    ++stats_.clusterMessagesSent;
    cluster_->SendToNode(node, bytes);
}

} // namespace vessaro
