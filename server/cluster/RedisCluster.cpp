#include "RedisCluster.h"

#include "OsRandom.h"
#include "PoolFrames.h"

#include <hiredis/hiredis.h>

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vessaro::cluster {
namespace {

// Renews or deletes a node's record only while it is still this node's own: after a stall longer
// than the expiry another node may have claimed the number.
constexpr const char* kRenewIfOwn =
    "if redis.call('GET', KEYS[1]) == ARGV[1] then "
    "return redis.call('PEXPIRE', KEYS[1], ARGV[2]) else return 0 end";
constexpr const char* kDeleteIfOwn = "if redis.call('GET', KEYS[1]) == ARGV[1] then "
                                     "return redis.call('DEL', KEYS[1], KEYS[2]) else return 0 end";

constexpr int kFirstRetryMs = 100;
constexpr int kLongestRetryMs = 2000;

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t WallMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string_view Bytes(const std::vector<uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

} // namespace

RedisCluster::RedisCluster(RedisClusterSettings settings, std::function<void()> wake)
    : settings_(std::move(settings)), wake_(std::move(wake)), seal_(settings_.secret),
      poolChannel_("vessaro:" + std::to_string(settings_.url.db) + ":pool"),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    status_.enabled = true;
    status_.nodeAddress = settings_.nodeAddress;
}

std::unique_ptr<RedisCluster> RedisCluster::Start(RedisClusterSettings settings,
                                                  std::function<void()> wake, std::string& error) {
    std::unique_ptr<RedisCluster> cluster(new RedisCluster(std::move(settings), std::move(wake)));
    if (cluster->wakeFd_ < 0) {
        error = "cannot make an event for the cluster's thread";
        return nullptr;
    }
    if (!cluster->Establish(error))
        return nullptr;
    cluster->thread_ = std::thread([c = cluster.get()] { c->Run(); });
    return cluster;
}

RedisCluster::~RedisCluster() {
    Stop();
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

std::string RedisCluster::NodeKey(uint16_t node) const {
    return "vessaro:node:" + std::to_string(node);
}

std::string RedisCluster::WaitersKey(uint16_t node) const {
    return "vessaro:waiters:" + std::to_string(node);
}

std::string RedisCluster::InboxChannel(uint16_t node) const {
    return "vessaro:" + std::to_string(settings_.url.db) + ":inbox:" + std::to_string(node);
}

void RedisCluster::Log(bool warning, const std::string& message) const {
    if (settings_.log)
        settings_.log(warning, message);
}

std::vector<uint8_t> RedisCluster::LivenessFrame() const {
    return seal_.Seal({FrameKind::Liveness, self_, 0, epoch_, 0}, Bytes(settings_.nodeAddress));
}

// Connects both links, claims the number in a new epoch, subscribes, and reports Joined with the
// users already waiting on the other nodes.
bool RedisCluster::Establish(std::string& error) {
    commands_ = RedisLink::Connect(settings_.url, settings_.timeoutMs, error);
    if (commands_)
        subscriber_ = RedisLink::Connect(settings_.url, settings_.timeoutMs, error);
    if (!commands_ || !subscriber_) {
        commands_.reset();
        return false;
    }
    // Epochs grow with the wall clock, so that a node started again under the same number is
    // seen as a new life even by nodes that never saw it go; the low bits are random.
    OsRandom random;
    const uint64_t previous = epoch_;
    epoch_ = std::max(previous + 1, uint64_t(WallMs()) << 20 | (random.Next() & 0xfffff));
    sequence_ = 0;
    bool ok = ClaimNumber(error);
    if (ok) {
        RedisReplyPtr first =
            subscriber_->Command({"SUBSCRIBE", poolChannel_, InboxChannel(self_)});
        RedisReplyPtr second = first ? subscriber_->Next() : nullptr;
        RedisReplyPtr cleared = commands_->Command({"DEL", WaitersKey(self_)});
        ok = second && cleared && !IsError(first.get());
        if (!ok)
            error = "cannot subscribe to the cluster's channels: " + subscriber_->error();
    }
    if (!ok) {
        commands_.reset();
        subscriber_.reset();
        return false;
    }
    joinedEpoch_ = epoch_;
    {
        std::lock_guard lock(mutex_);
        status_.joined = true;
        status_.node = self_;
    }
    generation_.fetch_add(1);
    Push(ClusterEvent::Kind::Joined);
    nextRefreshMs_ = SteadyMs();
    if (!Refresh()) {
        error = "the link to Redis broke while joining";
        GoLost(error);
        return false;
    }
    return true;
}

// The lowest free number on the first join; the same number on every later one, which is still
// this node's own when its record is of this process's last life (Redis kept it while the link was
// down).
bool RedisCluster::ClaimNumber(std::string& error) {
    const std::string expiry = std::to_string(settings_.expiryMs);
    const bool first = self_ == 0;
    for (uint16_t n = first ? 1 : self_; n <= (first ? kMaxNodes : self_); ++n) {
        self_ = n;
        const std::vector<uint8_t> record = LivenessFrame();
        RedisReplyPtr set =
            commands_->Command({"SET", NodeKey(n), Bytes(record), "NX", "PX", expiry});
        if (!set) {
            error = "lost the link to Redis: " + commands_->error();
        } else if (IsStatus(set.get(), "OK")) {
            if (first)
                membership_ = Membership(n);
            return true;
        } else if (first) {
            continue;
        } else if (HoldsOwnRecord(n)) {
            RedisReplyPtr taken =
                commands_->Command({"SET", NodeKey(n), Bytes(record), "XX", "PX", expiry});
            if (taken && IsStatus(taken.get(), "OK"))
                return true;
            error = "lost the link to Redis: " + commands_->error();
        } else {
            error = "node number " + std::to_string(n) + " is held by another node";
        }
        if (first)
            self_ = 0;
        return false;
    }
    self_ = 0;
    error = "every node number (1 to " + std::to_string(kMaxNodes) + ") is taken";
    return false;
}

bool RedisCluster::HoldsOwnRecord(uint16_t node) {
    RedisReplyPtr held = commands_->Command({"GET", NodeKey(node)});
    std::optional<OpenedFrame> frame =
        held ? seal_.Open(Bytes(StringOf(held.get()))) : std::nullopt;
    return frame && frame->header.kind == FrameKind::Liveness && frame->header.sender == node &&
           frame->header.epoch == joinedEpoch_;
}

void RedisCluster::Run() {
    while (!stopAsked_.load()) {
        if (commands_) {
            if (!Turn())
                GoLost("lost the link to Redis: " +
                       (commands_->broken() ? commands_->error() : subscriber_->error()));
            continue;
        }
        // Not linked: wait for the next attempt (or a stop), dropping what the loop queues.
        const int64_t wait = std::max<int64_t>(0, nextAttemptMs_ - SteadyMs());
        pollfd p{wakeFd_, POLLIN, 0};
        poll(&p, 1, int(wait));
        uint64_t count = 0;
        [[maybe_unused]] ssize_t ignored = read(wakeFd_, &count, sizeof count);
        {
            std::lock_guard lock(mutex_);
            status_.framesDropped += outgoing_.size();
            outgoing_.clear();
        }
        if (stopAsked_.load() || SteadyMs() < nextAttemptMs_)
            continue;
        std::string error;
        if (Establish(error)) {
            backoffMs_ = 0;
            {
                std::lock_guard lock(mutex_);
                ++status_.rejoins;
            }
            Log(false, "cluster: joined again as node " + std::to_string(self_));
        } else {
            backoffMs_ = std::min(kLongestRetryMs, std::max(kFirstRetryMs, backoffMs_ * 2));
            nextAttemptMs_ = SteadyMs() + backoffMs_;
            Log(true, "cluster: cannot join again (retrying): " + error);
        }
    }
    if (commands_)
        Leave();
}

// One turn while linked: waits for frames from Redis, the loop's queue or the next renewal.
bool RedisCluster::Turn() {
    const int wait = int(std::max<int64_t>(0, nextRefreshMs_ - SteadyMs()));
    pollfd p[2] = {{subscriber_->fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(p, 2, wait) < 0)
        return true; // interrupted: try again
    if (p[1].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t ignored = read(wakeFd_, &count, sizeof count);
    }
    if (stopAsked_.load())
        return true;
    if (!SendQueued())
        return false;
    if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadFrames())
        return false;
    if (SteadyMs() >= nextRefreshMs_)
        return Refresh();
    return true;
}

// Sends what the loop queued, in one pipeline. Frames the loop queued before it learned of the
// link's current life are dropped: the core advertises again on Joined, and messages about what
// the other nodes have ended since would only confuse them.
bool RedisCluster::SendQueued() {
    std::vector<Outgoing> items;
    {
        std::lock_guard lock(mutex_);
        items.swap(outgoing_);
    }
    if (items.empty())
        return true;
    const uint64_t generation = generation_.load();
    const std::string waiters = WaitersKey(self_);
    std::size_t commands = 0;
    uint64_t dropped = 0;
    for (const Outgoing& item : items) {
        if (item.generation != generation) {
            ++dropped;
            continue;
        }
        const std::vector<uint8_t> frame =
            seal_.Seal({item.kind, self_, item.destination, epoch_, ++sequence_}, item.body);
        const std::string field = std::to_string(item.sessionId);
        switch (item.kind) {
        case FrameKind::Advert: {
            const std::vector<uint8_t> entry =
                seal_.Seal({FrameKind::WaiterEntry, self_, 0, epoch_, 0}, item.body);
            commands_->Append({"HSET", waiters, field, Bytes(entry)});
            commands_->Append({"PUBLISH", poolChannel_, Bytes(frame)});
            commands += 2;
            break;
        }
        case FrameKind::Withdraw:
            commands_->Append({"HDEL", waiters, field});
            commands_->Append({"PUBLISH", poolChannel_, Bytes(frame)});
            commands += 2;
            break;
        default:
            commands_->Append({"PUBLISH", InboxChannel(item.destination), Bytes(frame)});
            commands += 1;
            break;
        }
    }
    if (dropped != 0) {
        std::lock_guard lock(mutex_);
        status_.framesDropped += dropped;
    }
    for (std::size_t i = 0; i < commands; ++i)
        if (!commands_->Next())
            return false;
    return true;
}

bool RedisCluster::ReadFrames() {
    std::vector<RedisReplyPtr> replies;
    const bool linked = subscriber_->ReadArrived(replies);
    for (const RedisReplyPtr& reply : replies) {
        const redisReply* r = reply.get();
        if (r->type == REDIS_REPLY_ARRAY && r->elements == 3 &&
            StringOf(r->element[0]) == "message" && !TakeFrame(r->element[2]))
            return false;
    }
    return linked;
}

bool RedisCluster::TakeFrame(const redisReply* payload) {
    std::optional<OpenedFrame> frame = seal_.Open(Bytes(StringOf(payload)));
    MembershipChange change;
    const Membership::Verdict verdict =
        frame ? membership_.Admit(frame->header, change) : Membership::Verdict::Refuse;
    if (verdict == Membership::Verdict::Own)
        return true;
    bool understood = verdict == Membership::Verdict::Take;
    if (understood && !ApplyChange(change))
        return false;
    if (understood) {
        const uint16_t sender = frame->header.sender;
        ClusterEvent event;
        event.node = sender;
        switch (frame->header.kind) {
        case FrameKind::Advert:
            if (std::optional<WaiterAd> ad = DecodeAdvert(frame->body, sender)) {
                event.kind = ClusterEvent::Kind::WaiterAdvertised;
                event.sessionId = ad->sessionId;
                event.ad = *ad;
                Push(std::move(event));
            } else {
                understood = false;
            }
            break;
        case FrameKind::Withdraw:
            if (std::optional<int32_t> id = DecodeSessionId(frame->body)) {
                event.kind = ClusterEvent::Kind::WaiterWithdrawn;
                event.sessionId = *id;
                Push(std::move(event));
            } else {
                understood = false;
            }
            break;
        case FrameKind::Leave:
            if (!ApplyChange(membership_.OnLeave(sender)))
                return false;
            break;
        default:
            event.kind = ClusterEvent::Kind::NodeMessage;
            event.message = std::move(frame->body);
            Push(std::move(event));
            break;
        }
    }
    if (!understood) {
        std::lock_guard lock(mutex_);
        ++status_.framesRefused;
    }
    return true;
}

// Renews this node's record and its waiting users' expiry, and reads every node's record.
bool RedisCluster::Refresh() {
    nextRefreshMs_ = SteadyMs() + settings_.refreshMs;
    const std::string expiry = std::to_string(settings_.expiryMs);
    const std::vector<uint8_t> record = LivenessFrame();
    commands_->Append({"EVAL", kRenewIfOwn, "1", NodeKey(self_), Bytes(record), expiry});
    commands_->Append({"PEXPIRE", WaitersKey(self_), expiry});
    std::vector<std::string> keys;
    for (uint16_t n = 1; n <= kMaxNodes; ++n)
        keys.push_back(NodeKey(n));
    std::vector<std::string_view> mget = {"MGET"};
    mget.insert(mget.end(), keys.begin(), keys.end());
    commands_->Append(mget);
    RedisReplyPtr renewed = commands_->Next();
    RedisReplyPtr expiring = renewed ? commands_->Next() : nullptr;
    RedisReplyPtr scan = expiring ? commands_->Next() : nullptr;
    if (!scan || scan->type != REDIS_REPLY_ARRAY || scan->elements != kMaxNodes)
        return false;
    if (renewed->type != REDIS_REPLY_INTEGER || renewed->integer != 1) {
        // The record expired (this node stalled longer than the expiry) or is another node's
        // now: the others have taken this life as gone, so it must join again in a new one.
        Log(true, "cluster: this node's liveness record expired");
        return false;
    }
    std::array<std::optional<LivenessRecord>, kMaxNodes + 1> records;
    uint64_t refused = 0;
    for (uint16_t n = 1; n <= kMaxNodes; ++n) {
        const redisReply* value = scan->element[n - 1];
        if (value->type == REDIS_REPLY_NIL)
            continue;
        std::optional<OpenedFrame> frame = seal_.Open(Bytes(StringOf(value)));
        if (!frame || frame->header.kind != FrameKind::Liveness || frame->header.sender != n) {
            ++refused;
            continue;
        }
        records[n] = LivenessRecord{frame->header.epoch,
                                    std::string(frame->body.begin(), frame->body.end())};
    }
    if (!records[self_] || records[self_]->epoch != epoch_)
        return false;
    const MembershipChange change = membership_.OnScan(records);
    {
        std::lock_guard lock(mutex_);
        status_.framesRefused += refused;
        status_.nodesLive = membership_.LiveCount();
    }
    return ApplyChange(change);
}

bool RedisCluster::ApplyChange(const MembershipChange& change) {
    for (uint16_t node : change.down) {
        ClusterEvent event;
        event.kind = ClusterEvent::Kind::NodeDown;
        event.node = node;
        Push(std::move(event));
        Log(false, "cluster: node " + std::to_string(node) + " is gone");
    }
    for (uint16_t node : change.joined) {
        Log(false,
            "cluster: node " + std::to_string(node) + " is live at " + membership_.AddressOf(node));
        if (!FetchWaiters(node))
            return false;
    }
    if (!change.down.empty() || !change.joined.empty()) {
        std::lock_guard lock(mutex_);
        status_.nodesLive = membership_.LiveCount();
    }
    return true;
}

// The users already waiting on a node this one has just seen join.
bool RedisCluster::FetchWaiters(uint16_t node) {
    RedisReplyPtr all = commands_->Command({"HGETALL", WaitersKey(node)});
    if (!all)
        return false;
    if (all->type != REDIS_REPLY_ARRAY)
        return true;
    uint64_t refused = 0;
    for (std::size_t i = 1; i < all->elements; i += 2) {
        std::optional<OpenedFrame> frame = seal_.Open(Bytes(StringOf(all->element[i])));
        std::optional<WaiterAd> ad;
        if (frame && frame->header.sender == node && membership_.AdmitEntry(frame->header))
            ad = DecodeAdvert(frame->body, node);
        if (!ad) {
            ++refused;
            continue;
        }
        ClusterEvent event;
        event.kind = ClusterEvent::Kind::WaiterAdvertised;
        event.node = node;
        event.sessionId = ad->sessionId;
        event.ad = *ad;
        Push(std::move(event));
    }
    if (refused != 0) {
        std::lock_guard lock(mutex_);
        status_.framesRefused += refused;
    }
    return true;
}

void RedisCluster::GoLost(const std::string& why) {
    commands_.reset();
    subscriber_.reset();
    membership_.Forget();
    {
        std::lock_guard lock(mutex_);
        status_.joined = false;
        status_.nodesLive = 0;
    }
    Push(ClusterEvent::Kind::Lost);
    Log(true, "cluster: " + why + "; serving this node's users alone until Redis returns");
    backoffMs_ = kFirstRetryMs;
    nextAttemptMs_ = SteadyMs() + backoffMs_;
}

// Sends what is still queued, then tells the others this node leaves and removes its records.
void RedisCluster::Leave() {
    if (!SendQueued())
        return;
    const std::vector<uint8_t> frame =
        seal_.Seal({FrameKind::Leave, self_, 0, epoch_, ++sequence_}, {});
    commands_->Append({"PUBLISH", poolChannel_, Bytes(frame)});
    const std::vector<uint8_t> record = LivenessFrame();
    commands_->Append(
        {"EVAL", kDeleteIfOwn, "2", NodeKey(self_), WaitersKey(self_), Bytes(record)});
    if (commands_->Next())
        commands_->Next();
    commands_.reset();
    subscriber_.reset();
}

void RedisCluster::Stop() {
    if (!thread_.joinable())
        return;
    stopAsked_.store(true);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wakeFd_, &one, sizeof one);
    thread_.join();
    std::lock_guard lock(mutex_);
    status_.joined = false;
    status_.nodesLive = 0;
}

ClusterStatus RedisCluster::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void RedisCluster::DeliverEvents(const std::function<void(const ClusterEvent&)>& deliver) {
    std::vector<ClusterEvent> events;
    {
        std::lock_guard lock(mutex_);
        events.swap(incoming_);
    }
    for (const ClusterEvent& event : events) {
        if (event.kind == ClusterEvent::Kind::Joined)
            ++loopGeneration_;
        deliver(event);
    }
}

void RedisCluster::Push(ClusterEvent event) {
    bool wasEmpty;
    {
        std::lock_guard lock(mutex_);
        wasEmpty = incoming_.empty();
        incoming_.push_back(std::move(event));
    }
    if (wasEmpty && wake_)
        wake_();
}

void RedisCluster::Push(ClusterEvent::Kind kind) {
    ClusterEvent event;
    event.kind = kind;
    Push(std::move(event));
}

void RedisCluster::Queue(Outgoing item) {
    item.generation = loopGeneration_;
    bool wasEmpty;
    {
        std::lock_guard lock(mutex_);
        if (outgoing_.size() >= settings_.maxQueued) {
            ++status_.framesDropped;
            return;
        }
        wasEmpty = outgoing_.empty();
        outgoing_.push_back(std::move(item));
    }
    if (wasEmpty) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = write(wakeFd_, &one, sizeof one);
    }
}

// Stamps strictly increasing on this node, in milliseconds of the wall clock times 1000 (room
// for a thousand users a millisecond before the stamps run ahead of the clock), times 64 plus the
// node number, so that no two nodes ever give the same stamp.
uint64_t RedisCluster::NextArrival() {
    lastArrival_ = std::max(lastArrival_ + 1, uint64_t(WallMs()) * 1000);
    return lastArrival_ * (kMaxNodes + 1) + self_;
}

void RedisCluster::Advertise(const WaiterAd& ad) {
    WaiterAd own = ad;
    own.node = self_;
    Queue({FrameKind::Advert, 0, ad.sessionId, 0, EncodeAdvert(own)});
}

void RedisCluster::Withdraw(int32_t sessionId) {
    Queue({FrameKind::Withdraw, 0, sessionId, 0, EncodeSessionId(sessionId)});
}

void RedisCluster::SendToNode(uint16_t node, std::span<const uint8_t> message) {
    if (node == 0 || node > kMaxNodes || node == self_ || message.size() > NodeSeal::kMaxBody) {
        std::lock_guard lock(mutex_);
        ++status_.framesDropped;
        return;
    }
    Queue({FrameKind::NodeMessage, node, 0, 0, {message.begin(), message.end()}});
}

} // namespace vessaro::cluster
