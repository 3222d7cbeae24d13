#include "MatchServer.h"

#include "ByteOrder.h"

#include <array>
#include <cstring>
#include <utility>

namespace vessaro {
namespace {

bool SameRecords(const SessionRecords& records, const DatagramView& request) {
    const uint8_t* bytes = request.bytes();
    uint8_t stored[kUserProfileSize + kMatchRequirementSize];
    StoreProfile(stored, records.profile);
    StoreRequirement(stored + kUserProfileSize, records.requirement);
    return std::memcmp(stored, bytes + offsets::kRequestProfile, sizeof stored) == 0;
}

} // namespace

// Every copy is acknowledged. A copy that repeats the request of a waiting session changes
// nothing; changed records queue the session afresh.
void MatchServer::HandleMatchRequest(Session& session, const DatagramView& message, int64_t nowMs) {
    Send(session.endpoint, BuildControl(MSG_MATCH_REQUEST_ACK, session.id));
    if ((session.state == SessionState::Waiting || session.state == SessionState::Claiming) &&
        SameRecords(sessions_.RecordsOf(std::as_const(session)), message))
        return;
    if (session.state == SessionState::InConversation) {
        const Conversation* conversation = FindConversation(session.conversationId);
        // A copy sent before the client saw its offer: the offer, still being repeated, will
        // find the client once the acknowledgement has put it into the matching state.
        if (conversation && !HasSeenOffer(*conversation, session.id) &&
            SameRecords(sessions_.RecordsOf(std::as_const(session)), message))
            return;
    }
    // The client has left whatever it was in: it is back to asking for a partner.
    LeaveEverything(session, nowMs);
    SessionRecords& records = sessions_.RecordsOf(session);
    records.profile = message.requestProfile();
    records.requirement = message.requestRequirement();
    session.requestMs = nowMs;
    Enqueue(session, nowMs);
}

void MatchServer::HandleMatchCancel(Session& session, int64_t nowMs) {
    Send(session.endpoint, BuildControl(MSG_MATCH_CANCEL_ACK, session.id));
    if (session.state == SessionState::Waiting || session.state == SessionState::Claiming) {
        Unlist(session.id);
        session.state = SessionState::Idle;
        session.claimed = 0;
        return;
    }
    if (session.state != SessionState::InConversation)
        return;
    // A cancel that crossed an offer the client has not seen ends the offer (the client ignores
    // it from now on); after the client has seen it, a cancel can only be a late copy.
    const Conversation* conversation = FindConversation(session.conversationId);
    if (conversation && !HasSeenOffer(*conversation, session.id))
        EndConversation(conversation->id, session.id, nowMs);
}

// Same topic first, then, once the seeker may take any topic, anyone who may too. A seeker
// without a partner waits; after the any-topic wait it looks once more, across topics.
void MatchServer::Enqueue(Session& session, int64_t nowMs) {
    if (cluster_) {
        SeekInCluster(session, false, nowMs);
        return;
    }
    const SessionRecords& records = sessions_.RecordsOf(std::as_const(session));
    const MatchCandidate candidate = MatchCandidate::From(records.profile, records.requirement);
    const bool anyTopicNow = config_.anyTopicAfterMs <= 0;
    std::optional<int32_t> partner = pool_.FindSameTopic(candidate);
    if (!partner && anyTopicNow)
        partner = pool_.FindRelaxed(candidate);
    if (partner) {
        // The partner's session and what taking it out of the pool reads are asked for at once:
        // with many users, each is a cache miss, and asked for together they overlap.
        sessions_.PrefetchId(*partner);
        pool_.PrefetchRemoval(*partner);
        StartOffer(*sessions_.Find(*partner), session, nowMs);
        return;
    }
    session.state = SessionState::Waiting;
    session.arrival = nextArrival_++;
    pool_.Add(session.id, candidate, session.arrival);
    if (anyTopicNow)
        pool_.Relax(session.id);
    else
        timers_.Push(nowMs + config_.anyTopicAfterMs,
                     Timer{TimerKind::Relax, session.id, session.arrival});
}

void MatchServer::OnRelaxDue(const Timer& timer, int64_t nowMs) {
    if (cluster_) {
        OnRelaxDueInCluster(timer, nowMs);
        return;
    }
    Session* session = sessions_.Find(timer.id);
    if (!session || session->state != SessionState::Waiting || session->arrival != timer.serial)
        return;
    const SessionRecords& records = sessions_.RecordsOf(std::as_const(*session));
    const MatchCandidate candidate = MatchCandidate::From(records.profile, records.requirement);
    if (std::optional<int32_t> partner = pool_.FindRelaxed(candidate))
        StartOffer(*sessions_.Find(*partner), *session, nowMs);
    else
        pool_.Relax(session->id);
}

void MatchServer::StartOffer(Session& waited, Session& seeker, int64_t nowMs) {
    // What the offer reads after the pool is done with the waiting user is asked for first, so
    // that it arrives while the pool works: the place of a new conversation id, and the profile
    // that the seeker is shown.
    const int32_t drawn = DrawConversationId();
    conversations_.Prefetch(drawn);
    sessions_.PrefetchRecords(waited);
    Unlist(waited.id);
    // A fresh request has left the pool already; only a seeker that waited is still in it.
    if (seeker.state == SessionState::Waiting)
        Unlist(seeker.id);
    Conversation conversation;
    conversation.id = NewConversationId(drawn);
    conversation.serial = nextSerial_++;
    conversation.sessions = {waited.id, seeker.id};
    for (Session* side : {&waited, &seeker}) {
        const Session& other = side == &waited ? seeker : waited;
        side->state = SessionState::InConversation;
        side->conversationId = conversation.id;
        Notify(*side, MSG_PARTNER_FOUND, conversation.id,
               BuildPartnerFound(side->id, conversation.id, sessions_.RecordsOf(other).profile),
               config_.partnerFoundCopies, nowMs);
    }
    timers_.Push(nowMs + config_.offerTimeoutMs,
                 Timer{TimerKind::OfferEnd, conversation.id, conversation.serial});
    conversations_.Get(conversation.id) = conversation;
    ++stats_.matchesMade;
    for (const Session* side : {&waited, &seeker})
        stats_.matchDelay.Observe(double(nowMs - side->requestMs));
}

void MatchServer::HandleTalk(Session& session, const DatagramView& message, int64_t nowMs) {
    const int32_t conversationId = message.conversationId();
    Conversation* conversation =
        session.state == SessionState::InConversation && session.conversationId == conversationId
            ? FindConversation(conversationId)
            : nullptr;
    if (!conversation) {
        if (session.state != SessionState::InConversation && conversationId != 0 &&
            conversationId == session.lastConversationId)
            HandleAfterEnd(session, message);
        return;
    }
    const int side = conversation->SideOf(session.id);
    switch (message.type()) {
    case MSG_PARTNER_FOUND_ACK:
        conversation->offerReceived[side] = true;
        ClearPending(session, MSG_PARTNER_FOUND, conversationId);
        break;
    case MSG_ACCEPT:
        if (conversation->remoteNode && !conversation->accepted[side])
            TellPartnerNode(*conversation, cluster::NodeMessage::Kind::Accepted);
        conversation->offerReceived[side] = true;
        conversation->accepted[side] = true;
        ClearPending(session, MSG_PARTNER_FOUND, conversationId);
        Send(session.endpoint, BuildControl(MSG_ACCEPT_ACK, session.id, conversationId));
        if (!conversation->open && conversation->accepted[1 - side])
            OpenConversation(*conversation, nowMs);
        break;
    case MSG_REFUSE:
        Send(session.endpoint, BuildControl(MSG_REFUSE_ACK, session.id, conversationId));
        EndConversation(conversationId, session.id, nowMs);
        break;
    case MSG_HANGUP:
        Send(session.endpoint, BuildControl(MSG_HANGUP_ACK, session.id, conversationId));
        EndConversation(conversationId, session.id, nowMs);
        break;
    case MSG_TALK_START_ACK:
        ClearPending(session, MSG_TALK_START, conversationId);
        break;
    case MSG_TALK_TEXT:
        Relay(session, *conversation, message, nowMs);
        break;
    default:
        break; // MSG_TALK_PROBE_ACK, MSG_PEER_HANGUP_ACK: signs of life, already noted
    }
}

// A message about the conversation the session was in last, which has ended. Repeated refusals
// and hang-ups are confirmed again; a client that still behaves as if the conversation went on
// is told once more that the partner left.
void MatchServer::HandleAfterEnd(Session& session, const DatagramView& message) {
    const int32_t conversationId = message.conversationId();
    switch (message.type()) {
    case MSG_REFUSE:
        Send(session.endpoint, BuildControl(MSG_REFUSE_ACK, session.id, conversationId));
        ClearPending(session, MSG_PEER_HANGUP, conversationId);
        break;
    case MSG_HANGUP:
        Send(session.endpoint, BuildControl(MSG_HANGUP_ACK, session.id, conversationId));
        ClearPending(session, MSG_PEER_HANGUP, conversationId);
        break;
    case MSG_PEER_HANGUP_ACK:
        ClearPending(session, MSG_PEER_HANGUP, conversationId);
        break;
    case MSG_PARTNER_FOUND_ACK:
    case MSG_ACCEPT:
    case MSG_TALK_START_ACK:
    case MSG_TALK_PROBE_ACK:
        Send(session.endpoint, BuildControl(MSG_PEER_HANGUP, session.id, conversationId));
        break;
    default:
        break; // texts of a closed conversation go nowhere
    }
}

void MatchServer::OpenConversation(Conversation& conversation, int64_t nowMs) {
    conversation.open = true;
    for (int32_t sessionId : conversation.sessions) {
        if (conversation.IsRemote(sessionId))
            continue;
        Session& session = *sessions_.Find(sessionId);
        Notify(session, MSG_TALK_START, conversation.id,
               BuildControl(MSG_TALK_START, sessionId, conversation.id), config_.talkStartCopies,
               nowMs);
    }
    timers_.Push(nowMs + config_.probeIntervalMs,
                 Timer{TimerKind::Probe, conversation.id, conversation.serial});
}

// Both sessions are idle again. Everyone in it but the leaver (0: no one left on purpose) is told
// with MSG_PEER_HANGUP, repeated until acknowledged.
void MatchServer::EndConversation(int32_t conversationId, int32_t leaver, int64_t nowMs) {
    const Conversation* found = conversations_.Find(conversationId);
    if (!found)
        return;
    const Conversation conversation = *found;
    conversations_.Erase(conversationId);
    if (conversation.remoteNode)
        TellPartnerNode(conversation, cluster::NodeMessage::Kind::End);
    for (int32_t sessionId : conversation.sessions) {
        Session* session = sessions_.Find(sessionId);
        if (!session)
            continue;
        session->state = SessionState::Idle;
        session->conversationId = 0;
        session->lastConversationId = conversationId;
        if (sessionId == leaver)
            session->pending = {};
        else
            Notify(*session, MSG_PEER_HANGUP, conversationId,
                   BuildControl(MSG_PEER_HANGUP, sessionId, conversationId),
                   config_.peerHangupCopies, nowMs);
        ScheduleNotice(*session, nowMs);
    }
}

// Texts and their acknowledgements go to the partner byte for byte, under the partner's session
// id. They are neither kept nor logged.
void MatchServer::Relay(Session& session, const Conversation& conversation,
                        const DatagramView& message, int64_t nowMs) {
    const int32_t subKind = message.talkSubKind();
    if (!conversation.open || (subKind != TALK_TEXT && subKind != TALK_ACK))
        return;
    if (!session.texts.Take(nowMs, config_.textsPerSecondPerSession, textBurst_)) {
        ++stats_.droppedTextRate;
        return;
    }
    if (conversation.remoteNode) {
        ForwardText(session, conversation, message);
        return;
    }
    Session* partner = sessions_.Find(conversation.PartnerOf(session.id));
    if (!partner)
        return;
    std::array<uint8_t, MessageSize(MSG_TALK_TEXT)> out;
    std::memcpy(out.data(), message.bytes(), out.size());
    StoreI32(out.data() + offsets::kSessionId, partner->id);
    Send(partner->endpoint, out);
    if (subKind == TALK_TEXT)
        ++stats_.textsRelayed;
}

void MatchServer::OnOfferEndDue(const Timer& timer, int64_t nowMs) {
    const Conversation* conversation = FindConversation(timer.id);
    if (conversation && conversation->serial == timer.serial && !conversation->open)
        EndConversation(conversation->id, 0, nowMs);
}

// Probes both partners; a partner not heard from for the talk time-out has gone, and the
// conversation ends for both.
void MatchServer::OnProbeDue(const Timer& timer, int64_t nowMs) {
    const Conversation* conversation = FindConversation(timer.id);
    if (!conversation || conversation->serial != timer.serial)
        return;
    for (int32_t sessionId : conversation->sessions) {
        if (conversation->IsRemote(sessionId))
            continue; // its own node probes it
        const Session* session = sessions_.Find(sessionId);
        if (!session ||
            nowMs >= SilenceDeadline(session->lastHeardMs, config_.talkTimeoutMs, nowMs)) {
            EndConversation(conversation->id, 0, nowMs);
            return;
        }
    }
    for (int32_t sessionId : conversation->sessions) {
        if (conversation->IsRemote(sessionId))
            continue;
        const Session* session = sessions_.Find(sessionId);
        Send(session->endpoint, BuildControl(MSG_TALK_PROBE, sessionId, conversation->id));
    }
    timers_.Push(nowMs + config_.probeIntervalMs, timer);
}

Conversation* MatchServer::FindConversation(int32_t id) {
    return conversations_.Find(id);
}

bool MatchServer::HasSeenOffer(const Conversation& conversation, int32_t sessionId) const {
    const int side = conversation.SideOf(sessionId);
    return conversation.offerReceived[side] || conversation.accepted[side];
}

} // namespace vessaro
