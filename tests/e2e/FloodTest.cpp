// One address floods the server with garbage, connect requests, match requests and texts at full
// speed while two users chat: the chat goes on without a failed send and the server's memory stays
// bounded. The flood lasts 3 s here; VESSARO_FLOOD_SECONDS sets another length for a manual run
// (10 s, say). It is bounded in traffic too, and stays on loopback.
#include "CliEvents.h"
#include "Messages.h"
#include "ResidentMemory.h"
#include "ServerChild.h"
#include "TalkingPair.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

using namespace vessaro;
using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t kMaxFloodDatagrams = 20'000'000;

std::chrono::seconds FloodLength() {
    const char* text = std::getenv("VESSARO_FLOOD_SECONDS");
    int seconds = text ? std::atoi(text) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 3);
}

// Sends until told to stop or the traffic bound is reached; returns how many datagrams went out.
uint64_t Flood(UdpPeer& sender, uint16_t port, const std::atomic<bool>& stop) {
    std::mt19937 random(7);
    std::vector<uint8_t> garbage(700);
    auto request = BuildMatchRequest(0, EmptyProfile(), EmptyRequirement());
    auto text = BuildTalkText(0, 0, 1, MakeTalkText("flood"));
    auto connect = BuildControl(MSG_CONNECT);
    uint64_t sent = 0;
    while (!stop.load(std::memory_order_relaxed) && sent < kMaxFloodDatagrams) {
        int32_t guess = int32_t(random());
        switch (sent % 4) {
        case 0:
            for (auto& byte : garbage)
                byte = uint8_t(random());
            sender.SendTo(port, std::span(garbage).first(random() % garbage.size()));
            break;
        case 1:
            sender.SendTo(port, connect);
            break;
        case 2:
            std::memcpy(request.data() + 8, &guess, 4);
            sender.SendTo(port, request);
            break;
        default:
            std::memcpy(text.data() + 8, &guess, 4);
            std::memcpy(text.data() + 12, &guess, 4);
            sender.SendTo(port, text);
            break;
        }
        ++sent;
    }
    return sent;
}

TEST(Flood, TwoUsersChatOnWhileOneAddressFloodsTheServer) {
    // Another host as far as the server can tell.
    UdpPeer flooder(UdpPeer::Wire::Complemented, "127.0.0.2");
    if (!flooder.ok())
        GTEST_SKIP() << "127.0.0.2 cannot be bound here";
    ServerChild server;
    ASSERT_NE(server.port(), 0);
    TalkingPair pair = StartTalkingPair(server, server.port(), server.port());
    ASSERT_FALSE(HasFatalFailure());
    int pid = server.process().pid();
    long before = ResidentKiB(pid);

    std::atomic<bool> stop{false};
    uint64_t flooded = 0;
    std::thread flood([&] { flooded = Flood(flooder, server.port(), stop); });
    auto end = std::chrono::steady_clock::now() + FloodLength();
    int lines = 0;
    long peak = before;
    while (std::chrono::steady_clock::now() < end) {
        ChildProcess& from = lines % 2 == 0 ? *pair.a : *pair.b;
        ChildProcess& to = lines % 2 == 0 ? *pair.b : *pair.a;
        std::string line = "line " + std::to_string(lines++) + " under flood";
        from.WriteLine(line);
        EXPECT_EQ(ExpectEvent(to, "talk_text")["text"], line);
        EXPECT_EQ(ExpectEvent(from, "sent")["text"], line);
        peak = std::max(peak, ResidentKiB(pid));
    }
    stop = true;
    flood.join();

    EXPECT_GE(lines, 4);
    for (ChildProcess* client : {pair.a.get(), pair.b.get()}) {
        EXPECT_FALSE(HasPrinted(*client, "send_failed"));
        EXPECT_FALSE(HasPrinted(*client, "talk_ended"));
    }
    EXPECT_TRUE(server.process().running());
    EXPECT_LT(peak - before, 64 * 1024) << "the server grew from " << before << " KiB to " << peak;
    std::printf("flood: %llu datagrams in %lld s; %d lines exchanged, none failed; server memory "
                "%ld KiB before, %ld KiB at most\n",
                static_cast<unsigned long long>(flooded),
                static_cast<long long>(FloodLength().count()), lines, before, peak);
}

} // namespace
