// The matching server's core fed any sequence of datagrams from a few addresses, with time
// passing in between. The harness remembers the session and conversation ids the server hands
// each address, so that steps can carry them and reach past the session check into matching,
// offers and conversations. Every datagram the server sends must be well formed.
#include "FuzzInput.h"
#include "MatchServer.h"
#include "Messages.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace vessaro;

namespace {

constexpr std::size_t kSenders = 4;

struct Known {
    int32_t session = 0;
    int32_t conversation = 0;
};

Endpoint SenderAt(std::size_t i) {
    // Two senders share an address, one of them on another port; the rest have addresses of
    // their own.
    static const std::array<Endpoint, kSenders> senders = {
        Endpoint{0x7F000001, 40001}, Endpoint{0x7F000001, 40002}, Endpoint{0x0A000002, 40001},
        Endpoint{0xC0A80103, 5000}};
    return senders[i % kSenders];
}

// What the server says must be one of its own message types, of at least the size that type
// needs, and addressed to one of the senders that exist.
void CheckOutgoing(const Endpoint& to, std::span<const uint8_t> datagram) {
    DatagramView m(datagram);
    bool known = false;
    for (std::size_t i = 0; i < kSenders; ++i)
        known = known || SenderAt(i) == to;
    if (!known || !m.complete() || m.type() < MSG_CONNECT_ACK || m.type() > MSG_TALK_DATA ||
        m.type() == MSG_TIMER)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::FuzzInput in(data, size);
    std::array<Known, kSenders> known{};
    ServerConfig config;
    config.maxUnproven = 2; // fewer than the senders: grants are evicted and proven by id alone
    uint32_t seed = 12345;
    MatchServer server(
        config,
        [&](const Endpoint& to, std::span<const uint8_t> datagram) {
            CheckOutgoing(to, datagram);
            DatagramView m(datagram);
            for (std::size_t i = 0; i < kSenders; ++i) {
                if (!(SenderAt(i) == to))
                    continue;
                if (m.type() == MSG_CONNECT_ACK && m.connectResult() != 0)
                    known[i].session = m.sessionId();
                if (m.type() == MSG_PARTNER_FOUND)
                    known[i].conversation = m.conversationId();
            }
        },
        [&] { return seed = seed * 1664525u + 1013904223u; });

    int64_t now = 0;
    server.OnTimer(now);
    for (int steps = 0; !in.empty() && steps < 128; ++steps) {
        uint8_t op = in.Byte();
        std::size_t sender = (op >> 2) % kSenders;
        switch (op & 3) {
        case 0: // time passes
            now += int64_t(in.U16()) * 4;
            server.OnTimer(now);
            break;
        case 1:   // raw bytes
        case 2: { // bytes carrying this sender's ids (or another's, when the op says so)
            std::size_t length = in.U16() % 4097;
            auto bytes = in.Bytes(length);
            std::vector<uint8_t> message(bytes.begin(), bytes.end());
            if ((op & 3) == 2 && message.size() >= 16) {
                const Known& ids = known[(op >> 4) % kSenders];
                std::memcpy(message.data() + 8, &ids.session, 4);
                std::memcpy(message.data() + 12, &ids.conversation, 4);
            }
            server.OnDatagram(SenderAt(sender), message, now);
            break;
        }
        default: { // a well-formed message of a client type with the sender's ids
            static constexpr int32_t kTypes[] = {
                MSG_CONNECT,         MSG_DISCONNECT,        MSG_NOTICE_ACK,
                MSG_MATCH_CANCEL,    MSG_PARTNER_FOUND_ACK, MSG_REFUSE,
                MSG_ACCEPT,          MSG_TALK_START_ACK,    MSG_HANGUP,
                MSG_PEER_HANGUP_ACK, MSG_TALK_PROBE_ACK};
            uint8_t pick = in.Byte();
            const Known& ids = known[sender];
            if (pick % 13 == 11) {
                auto request = BuildMatchRequest(ids.session, EmptyProfile(), EmptyRequirement());
                server.OnDatagram(SenderAt(sender), request, now);
            } else if (pick % 13 == 12) {
                auto text =
                    BuildTalkText(ids.session, ids.conversation, in.U16(), MakeTalkText("hi"));
                server.OnDatagram(SenderAt(sender), text, now);
            } else {
                auto message = BuildControl(kTypes[pick % 13], ids.session, ids.conversation);
                server.OnDatagram(SenderAt(sender), message, now);
            }
            break;
        }
        }
        ServerStats stats = server.Stats();
        if (stats.sessions > config.maxSessions || stats.conversations > stats.sessions ||
            stats.unprovenSessions > config.maxUnproven)
            std::abort();
    }
    server.Shutdown();
    return 0;
}
