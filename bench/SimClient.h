#pragma once

#include "DatagramBatch.h"
#include "Messages.h"
#include "UdpSocket.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vessaro::bench {

using BenchClock = std::chrono::steady_clock;

// One simulated client speaking the protocol directly on its own UDP socket: it connects, asks
// for a partner, accepts the partner, answers notices, probes and texts as a real client does,
// and times its texts from send to acknowledgement. When the server closes its session it
// connects again, as a real client does, and asks again for a partner if it was waiting for one.
// Everything it sends is complemented, and everything it receives is complemented back, as on the
// wire.
class SimClient {
public:
    enum class Phase { Start, Connecting, Idle, Matching, Offered, Talking, Closed };

    SimClient(UdpSocket socket, UdpAddress server) : socket_(std::move(socket)), server_(server) {}

    const UdpSocket& socket() const { return socket_; }
    Phase phase() const { return phase_; }
    int32_t sessionId() const { return sessionId_; }
    int32_t conversationId() const { return conversationId_; }

    void Connect();
    void RequestMatch(const UserProfile& profile, const MatchRequirement& requirement);
    // Sends again what awaits an answer: the connect while connecting, the match request while
    // matching (either may have been lost); nothing in other phases.
    void Repeat();
    // Starts talking at once, without a server: for the baseline forwarder, which needs no session.
    void TalkWithoutSession() { phase_ = Phase::Talking; }

    // Sends the next text; it waits for its acknowledgement unless another text follows first.
    void SendText();
    bool awaitingAck() const { return awaitingAck_; }
    // How long the text that awaits its acknowledgement has waited.
    BenchClock::duration waited() const { return BenchClock::now() - sentAt_; }

    // Reads and handles everything waiting on the socket; returns how many datagrams it read.
    int Drain();
    // From now on what it sends is queued and goes out in batches (sendmmsg) when the queue is
    // full or on Flush; DrainBatched reads in batches (recvmmsg) through the given batch.
    void UseBatches();
    void Flush();
    int DrainBatched(DatagramBatch& in, int maxBatches = 4);
    // Handles one datagram as received from the server, complemented back already.
    void Handle(std::span<const uint8_t> message);

    // Counters since the last Reset.
    uint64_t textsReceived = 0;
    uint64_t acksReceived = 0;
    uint64_t partnersFound = 0;
    uint64_t textsSent = 0;
    uint64_t reconnects = 0;       // sessions the server closed, after which it connected again
    std::vector<double> rttMicros; // of acknowledged texts, if keepRtt
    bool keepRtt = false;
    void ResetCounters();

private:
    template <std::size_t N>
    void Send(const DatagramBytes<N>& message) {
        SendBytes(message.data(), N);
    }
    void SendBytes(const uint8_t* data, std::size_t size);
    void OnTalkText(const DatagramView& m);
    void OnConnectAck(const DatagramView& m);
    void OnSessionClosed(const DatagramView& m);

    UdpSocket socket_;
    UdpAddress server_;
    Phase phase_ = Phase::Start;
    int32_t sessionId_ = 0;
    int32_t conversationId_ = 0;
    uint32_t sequence_ = 0;
    bool awaitingAck_ = false;
    // The last match request, asked again after a reconnection when no offer had come.
    UserProfile profile_{};
    MatchRequirement requirement_{};
    bool matchAfterConnect_ = false;
    BenchClock::time_point sentAt_;
    std::unique_ptr<DatagramBatch> outbox_;
    TalkText text_ = MakeTalkText("benchmark text: the quick brown fox jumps over the lazy dog");
};

} // namespace vessaro::bench
