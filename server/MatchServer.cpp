#include "MatchServer.h"

#include <algorithm>

namespace vessaro {
namespace {

constexpr int64_t kHousekeepingIntervalMs = 1000;

// The types a client sends over the network. Everything else (server messages, timer ticks,
// MSG_TALK_DATA, unknown types) is dropped on arrival.
bool IsClientMessage(int32_t type) {
    switch (type) {
    case MSG_CONNECT:
    case MSG_DISCONNECT:
    case MSG_NOTICE_ACK:
    case MSG_MATCH_REQUEST:
    case MSG_MATCH_CANCEL:
    case MSG_PARTNER_FOUND_ACK:
    case MSG_REFUSE:
    case MSG_ACCEPT:
    case MSG_TALK_START_ACK:
    case MSG_HANGUP:
    case MSG_PEER_HANGUP_ACK:
    case MSG_TALK_PROBE_ACK:
    case MSG_TALK_TEXT:
        return true;
    default:
        return false;
    }
}

std::array<uint64_t, 2> KeyFrom(const RandomSource& random) {
    std::array<uint64_t, 2> key;
    for (uint64_t& word : key)
        word = uint64_t(random()) << 32 | random();
    return key;
}

} // namespace

MatchServer::MatchServer(ServerConfig config, DatagramSink sink, RandomSource random)
    : config_(std::move(config)), sink_(std::move(sink)), random_(std::move(random)),
      textBurst_(std::max(1.0, 2.0 * config_.textsPerSecondPerSession)),
      sessions_(config_.maxSessions, config_.maxSessionsPerAddress, config_.closedMemoryMs,
                config_.maxClosedRemembered, KeyFrom(random_)[0]),
      limiter_(config_.datagramsPerSecondPerAddress, config_.maxTrackedAddresses),
      cookie_(KeyFrom(random_)), unproven_(config_.maxUnproven, NoticeCopyOffsets()),
      networkBudget_(config_.unprovenBytesPerSecondPerNetwork, config_.maxTrackedNetworks),
      unknownReplies_(1.0, config_.maxTrackedAddresses, 1.0) {
    ApplyProofLimits();
}

void MatchServer::OnDatagram(const Endpoint& from, std::span<const uint8_t> datagram,
                             int64_t nowMs) {
    ++stats_.datagramsIn;
    if (!nextHousekeepingMs_)
        nextHousekeepingMs_ = nowMs + kHousekeepingIntervalMs;
    if (!limiter_.Allow(HostKey(from), nowMs)) {
        ++stats_.droppedAddressRate;
        return;
    }
    DatagramView message(datagram);
    if (!message.complete() || !IsClientMessage(message.type())) {
        ++stats_.droppedMalformed;
        return;
    }
    if (message.type() == MSG_CONNECT) {
        HandleConnect(from, nowMs);
        return;
    }
    Session* session = sessions_.Find(message.sessionId());
    if (!session)
        session = OpenIfProven(from, message.sessionId(), nowMs);
    if (!session) {
        HandleUnknownSession(from, message, nowMs);
        return;
    }
    if (session->endpoint != from) {
        ++stats_.droppedWrongSender;
        RefuseCollidingGrant(from, message, nowMs);
        return;
    }
    session->lastHeardMs = nowMs;
    Dispatch(*session, message, nowMs);
}

void MatchServer::Dispatch(Session& session, const DatagramView& message, int64_t nowMs) {
    switch (message.type()) {
    case MSG_DISCONNECT:
        Send(session.endpoint, BuildControl(MSG_DISCONNECT_ACK, session.id));
        CloseSession(session, nowMs);
        break;
    case MSG_NOTICE_ACK:
        break; // a sign of life, already noted
    case MSG_MATCH_REQUEST:
        HandleMatchRequest(session, message, nowMs);
        break;
    case MSG_MATCH_CANCEL:
        HandleMatchCancel(session, nowMs);
        break;
    default:
        HandleTalk(session, message, nowMs);
        break;
    }
}

// A client that sends MSG_CONNECT is waiting for its session and knows of no match or
// conversation; a repeat from a proven session's endpoint (its acknowledgement was lost) gets the
// same session back, freed of anything the server still had it in. Any other endpoint is granted
// an id that it has to prove first.
void MatchServer::HandleConnect(const Endpoint& from, int64_t nowMs) {
    if (Session* existing = sessions_.FindByEndpoint(from)) {
        existing->lastHeardMs = nowMs;
        LeaveEverything(*existing, nowMs);
        Send(from, BuildConnectAck(existing->id, 1));
        return;
    }
    GrantUnproven(from, nowMs);
}

// Only a repeated disconnect of a session closed lately, from that session's own endpoint, is
// confirmed. Anything else that names a session the server does not have is answered with
// MSG_SESSION_CLOSED, so that a client of a restarted server learns at once that its session is
// gone: never larger than what it answers, at most once an interval per address, and within the
// byte budget of unproven replies, since the sender's address is not proven.
void MatchServer::HandleUnknownSession(const Endpoint& from, const DatagramView& message,
                                       int64_t nowMs) {
    if (message.type() == MSG_DISCONNECT && sessions_.WasClosedFrom(message.sessionId(), from)) {
        Send(from, BuildControl(MSG_DISCONNECT_ACK, message.sessionId()));
        return;
    }
    ++stats_.droppedUnknownSession;
    const auto reply = BuildControl(MSG_SESSION_CLOSED, message.sessionId());
    if (message.sessionId() == 0 || message.size() < reply.size())
        return;
    if (!unknownReplies_.Allow(HostKey(from), nowMs)) {
        ++stats_.droppedUnknownSessionRate;
        return;
    }
    SendUnproven(from, nullptr, reply, nowMs);
}

// Two endpoints waiting to prove their addresses can be granted the same id; the first to prove
// it opens the session, and everything the other sends is then another endpoint's. That endpoint
// is told its session is closed (within the budget of unproven replies) and its grant forgotten,
// so that it connects again and gets a free id, instead of being ignored for good.
void MatchServer::RefuseCollidingGrant(const Endpoint& from, const DatagramView& message,
                                       int64_t nowMs) {
    const int32_t id = message.sessionId();
    const UnprovenTable::Entry* entry = unproven_.Find(from);
    // An endpoint that holds another grant by now has connected again already.
    if (entry ? entry->id != id : !cookie_.Proves(from, id, nowMs, config_.unprovenLifetimeMs))
        return;
    const auto reply = BuildControl(MSG_SESSION_CLOSED, id);
    if (message.size() < reply.size()) // never more than what it answers
        return;
    if (entry)
        unproven_.Remove(from);
    SendUnproven(from, nullptr, reply, nowMs);
}

void MatchServer::CloseSession(Session& session, int64_t nowMs) {
    LeaveEverything(session, nowMs);
    sessions_.Close(session.id, nowMs);
}

// Takes the session out of the pool or out of its offer or conversation (the partner is told),
// and drops any notification still being repeated to it.
void MatchServer::LeaveEverything(Session& session, int64_t nowMs) {
    if (session.state == SessionState::Waiting)
        Unlist(session.id);
    if (session.state == SessionState::InConversation)
        EndConversation(session.conversationId, session.id, nowMs);
    session.state = SessionState::Idle;
    session.claimed = 0;
    session.pending = {};
}

void MatchServer::SendNotice(Session& session, int64_t nowMs) {
    Send(session.endpoint, BuildNotice(session.id, config_.noticeUrl, 0));
    ScheduleNotice(session, nowMs);
}

void MatchServer::ScheduleNotice(Session& session, int64_t nowMs) {
    session.noticeSerial = nextSerial_++;
    timers_.Push(nowMs + config_.noticeIntervalMs,
                 Timer{TimerKind::Notice, session.id, session.noticeSerial});
}

// Sends a notification now and repeats it until ClearPending or its copies run out. A session has
// one at a time: a newer one replaces it.
void MatchServer::Notify(Session& session, int32_t type, int32_t conversationId,
                         std::span<const uint8_t> datagram, int copies, int64_t nowMs) {
    PendingNotification& p = session.pending;
    p.type = type;
    p.conversationId = conversationId;
    p.copiesLeft = copies - 1;
    p.serial = nextSerial_++;
    p.datagram.assign(datagram.begin(), datagram.end());
    Send(session.endpoint, datagram);
    timers_.Push(nowMs + config_.retransmitIntervalMs,
                 Timer{TimerKind::Repeat, session.id, p.serial});
}

void MatchServer::ClearPending(Session& session, int32_t type, int32_t conversationId) {
    if (session.pending.type == type && session.pending.conversationId == conversationId)
        session.pending = {};
}

void MatchServer::OnTimer(int64_t nowMs) {
    if (!nextHousekeepingMs_)
        nextHousekeepingMs_ = nowMs + kHousekeepingIntervalMs;
    while (auto timer = timers_.PopDue(nowMs))
        RunTimer(*timer, nowMs);
    unproven_.Expire(nowMs, config_.unprovenLifetimeMs);
    SendUnprovenCopies(nowMs);
    if (nowMs >= *nextHousekeepingMs_) {
        Housekeeping(nowMs);
        nextHousekeepingMs_ = nowMs + kHousekeepingIntervalMs;
    }
}

std::optional<int64_t> MatchServer::NextDueMs() const {
    std::optional<int64_t> next = timers_.NextDue();
    if (std::optional<int64_t> copy = unproven_.NextCopyDue(); copy && (!next || *copy < *next))
        next = copy;
    if (nextHousekeepingMs_ && (!next || *nextHousekeepingMs_ < *next))
        next = nextHousekeepingMs_;
    return next;
}

void MatchServer::RunTimer(const Timer& timer, int64_t nowMs) {
    switch (timer.kind) {
    case TimerKind::Notice:
        OnNoticeDue(timer, nowMs);
        break;
    case TimerKind::Reap:
        OnReapDue(timer, nowMs);
        break;
    case TimerKind::Repeat:
        OnRepeatDue(timer, nowMs);
        break;
    case TimerKind::Relax:
        OnRelaxDue(timer, nowMs);
        break;
    case TimerKind::OfferEnd:
        OnOfferEndDue(timer, nowMs);
        break;
    case TimerKind::Probe:
        OnProbeDue(timer, nowMs);
        break;
    case TimerKind::ClaimEnd:
        OnClaimDue(timer, nowMs);
        break;
    }
}

// Idle and waiting clients hear from the server at every notice; during an offer or a
// conversation the notices pause, and they start again when it ends.
void MatchServer::OnNoticeDue(const Timer& timer, int64_t nowMs) {
    Session* session = sessions_.Find(timer.id);
    if (!session || session->noticeSerial != timer.serial ||
        session->state == SessionState::InConversation)
        return;
    SendNotice(*session, nowMs);
}

void MatchServer::OnReapDue(const Timer& timer, int64_t nowMs) {
    Session* session = sessions_.Find(timer.id);
    if (!session)
        return;
    const int64_t due = SilenceDeadline(session->lastHeardMs, config_.sessionTimeoutMs, nowMs);
    if (nowMs < due) {
        timers_.Push(due, timer);
        return;
    }
    Send(session->endpoint, BuildControl(MSG_SESSION_CLOSED, session->id));
    CloseSession(*session, nowMs);
}

// Silence for the time-out ends a client's session, unless the server's own sockets dropped
// datagrams within the last time-out (the client's may be among them): then the silence counts
// only from a time-out after the last drop, and never beyond twice the time-out, so that a flood
// that keeps the sockets full cannot keep dead sessions forever.
int64_t MatchServer::SilenceDeadline(int64_t lastHeardMs, int64_t timeoutMs, int64_t nowMs) const {
    const int64_t due = lastHeardMs + timeoutMs;
    if (!lastOwnDropMs_ || nowMs - *lastOwnDropMs_ >= timeoutMs)
        return due;
    return std::max(due, std::min(*lastOwnDropMs_ + timeoutMs, lastHeardMs + 2 * timeoutMs));
}

void MatchServer::OnReceiveDrops(uint64_t total, int64_t nowMs) {
    if (total > stats_.socketDrops)
        lastOwnDropMs_ = nowMs;
    stats_.socketDrops = total;
}

void MatchServer::OnRepeatDue(const Timer& timer, int64_t nowMs) {
    Session* session = sessions_.Find(timer.id);
    if (!session || session->pending.type == 0 || session->pending.serial != timer.serial)
        return;
    PendingNotification& p = session->pending;
    if (p.copiesLeft > 0) {
        --p.copiesLeft;
        Send(session->endpoint, p.datagram);
        timers_.Push(nowMs + config_.retransmitIntervalMs, timer);
        return;
    }
    // An offer that never reached its user cannot go on; anything else is simply given up.
    int32_t type = p.type;
    int32_t conversationId = p.conversationId;
    session->pending = {};
    if (type == MSG_PARTNER_FOUND && FindConversation(conversationId))
        EndConversation(conversationId, 0, nowMs);
}

void MatchServer::Housekeeping(int64_t nowMs) {
    limiter_.Sweep(nowMs);
    networkBudget_.Sweep(nowMs);
    unknownReplies_.Sweep(nowMs);
    sessions_.ForgetClosed(nowMs);
}

// A random non-zero id that is not taken; from a random start, the next free one, so that even a
// poor random source cannot make this loop for long.
void MatchServer::Send(const Endpoint& to, std::span<const uint8_t> datagram) {
    ++stats_.datagramsOut;
    sink_(to, datagram);
}

// Each goodbye goes out twice: a client that loses one still learns at once that the server
// left, and a client ignores the second copy in the state the first put it in.
void MatchServer::Shutdown() {
    for (int copy = 0; copy < 2; ++copy) {
        conversations_.ForEach([this](int32_t id, const Conversation& conversation) {
            for (int32_t sessionId : conversation.sessions) {
                if (Session* session = sessions_.Find(sessionId))
                    Send(session->endpoint, BuildControl(MSG_PEER_HANGUP, sessionId, id));
            }
        });
    }
    for (int copy = 0; copy < 2; ++copy) {
        sessions_.ForEach([this](const Session& session) {
            Send(session.endpoint, BuildControl(MSG_SESSION_CLOSED, session.id));
        });
    }
    if (cluster_)
        LeaveCluster();
    conversations_.Clear();
    pool_.Clear();
    remoteWaiters_.clear();
    sessions_.Clear();
    unproven_.Clear();
    timers_.Clear();
}

std::vector<std::string> MatchServer::Reload(const ServerConfig& config) {
    std::vector<std::string> needRestart;
    if (config.maxUnproven != config_.maxUnproven)
        needRestart.push_back("maxUnproven");
    const std::size_t keptMaxUnproven = config_.maxUnproven;
    config_ = config;
    config_.maxUnproven = keptMaxUnproven;
    textBurst_ = std::max(1.0, 2.0 * config_.textsPerSecondPerSession);
    sessions_.SetLimits(config_.maxSessions, config_.maxSessionsPerAddress, config_.closedMemoryMs,
                        config_.maxClosedRemembered);
    limiter_.SetLimits(config_.datagramsPerSecondPerAddress, config_.maxTrackedAddresses);
    ApplyProofLimits();
    unproven_.SetCopyOffsets(NoticeCopyOffsets());
    return needRestart;
}

ServerStats MatchServer::Stats() const {
    ServerStats stats = stats_;
    stats.sessions = sessions_.size();
    stats.unprovenSessions = unproven_.size();
    stats.waiting = pool_.size() - remoteWaiters_.size();
    stats.remoteWaiting = remoteWaiters_.size();
    // The busiest topics by name; the rest only as a count, however many topics users make up.
    constexpr std::size_t kTopicsShown = 16;
    stats.waitingByTopic = pool_.TopicCounts();
    const std::size_t shown = std::min(kTopicsShown, stats.waitingByTopic.size());
    std::partial_sort(stats.waitingByTopic.begin(), stats.waitingByTopic.begin() + shown,
                      stats.waitingByTopic.end(), [](const auto& a, const auto& b) {
                          return a.second != b.second ? a.second > b.second : a.first < b.first;
                      });
    for (std::size_t i = shown; i < stats.waitingByTopic.size(); ++i)
        stats.waitingOtherTopics += stats.waitingByTopic[i].second;
    stats.waitingByTopic.resize(shown);
    stats.conversations = conversations_.size();
    return stats;
}

} // namespace vessaro
