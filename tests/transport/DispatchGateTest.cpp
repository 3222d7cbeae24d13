#include "DispatchGate.h"
#include "CommEndpoint.h"
#include "ConsoleCapture.h"
#include "MessageLog.h"
#include "Messages.h"
#include "ServerDatagram.h"
#include "ThreadTimerService.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <latch>
#include <thread>

using namespace std::chrono_literals;
using vessaro::DatagramView;
using vessaro::DispatchGate;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

namespace {

Bytes ProbeNumbered(int32_t number) {
    auto probe = vessaro::BuildControl(vessaro::MSG_TALK_PROBE, number);
    return Bytes(probe.begin(), probe.end());
}

bool Deliver(DispatchGate& gate, Bytes message) {
    return gate.Deliver(message.data(), message.size());
}

// The receive callback of the concurrency test, as the client's own: prepare, then the gate.
DispatchGate* endpointGate = nullptr;
int PrepareAndDeliver(uint8_t* buffer, int length, const char* address, uint16_t port) {
    if (vessaro::PrepareServerDatagram(buffer, length, address, port))
        endpointGate->Deliver(buffer, static_cast<std::size_t>(length));
    return 0;
}

} // namespace

// Only an open gate hands on, only messages long enough for their type, each with its console
// line, and texts made safe first.
TEST(DispatchGate, HandsOnWhileOpenWhatIsCompleteAndMadeSafe) {
    MessageLog log;
    DispatchGate gate([&](const uint8_t* m, std::size_t n) { log.Add(m, n); });
    Bytes fullAck(40, 0);
    fullAck[0] = 1;
    fullAck[4] = vessaro::MSG_CONNECT_ACK;
    fullAck[36] = 1;
    Bytes shortAck(fullAck.begin(), fullAck.begin() + 20);
    Bytes notice(296, 'x'); // its text has no terminator inside its field
    std::memset(notice.data(), 0, 36);
    notice[4] = vessaro::MSG_NOTICE;

    ConsoleCapture console;
    EXPECT_FALSE(Deliver(gate, fullAck)) << "closed until opened";
    gate.Open();
    EXPECT_FALSE(Deliver(gate, shortAck));
    EXPECT_TRUE(Deliver(gate, fullAck));
    EXPECT_TRUE(Deliver(gate, notice));
    gate.Close();
    gate.Close();
    EXPECT_FALSE(Deliver(gate, fullAck));

    auto handed = log.Messages();
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_EQ(handed[0], fullAck);
    EXPECT_EQ(DatagramView(handed[1].data(), 296).noticeText(), std::string(255, 'x'));
    EXPECT_EQ(console.Text(), "MsgProcThread: got a msg, protocol = 1, type = 2\n"
                              "MsgProcThread: got a msg, protocol = 1, type = 2\n"
                              "MsgProcThread: got a msg, protocol = 0, type = 5\n");
}

// Ticks from the timer thread and datagrams from the receive thread, arriving at the same time,
// are handed on one at a time, each source in its own order, and none is lost.
TEST(DispatchGate, TicksAndServerDatagramsNeverOverlap) {
    constexpr int kEach = 100;
    MessageLog log;
    std::atomic<int> inHandler{0};
    std::atomic<bool> overlapped{false};
    DispatchGate gate([&](const uint8_t* m, std::size_t n) {
        if (inHandler.fetch_add(1) != 0)
            overlapped = true;
        std::this_thread::sleep_for(50us);
        log.Add(m, n);
        inHandler.fetch_sub(1);
    });
    gate.Open();
    endpointGate = &gate;
    auto endpoint = vessaro::CommInit(0);
    ASSERT_NE(endpoint, nullptr);
    vessaro::CommSetRecvCallback(endpoint.get(), PrepareAndDeliver);
    vessaro::ThreadTimerService timers;
    UdpPeer server;

    for (int i = 0; i < kEach; ++i)
        timers.Set(static_cast<uint32_t>(i / 10), static_cast<uint32_t>(i), [&](uint32_t tag) {
            auto tick = vessaro::BuildTimerTick(tag);
            gate.Deliver(tick.data(), tick.size());
        });
    for (int i = 0; i < kEach; ++i)
        EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(ProbeNumbered(i))));

    ASSERT_TRUE(log.WaitForCount(2 * kEach));
    vessaro::CommStop(endpoint.get());
    timers.Stop();
    EXPECT_FALSE(overlapped);
    std::vector<int> ticks, probes, inOrder;
    for (const Bytes& m : log.Messages()) {
        DatagramView view(m.data(), m.size());
        if (view.type() == vessaro::MSG_TIMER)
            ticks.push_back(static_cast<int>(view.timerTag()));
        else
            probes.push_back(view.sessionId());
    }
    for (int i = 0; i < kEach; ++i)
        inOrder.push_back(i);
    EXPECT_EQ(ticks, inOrder);
    EXPECT_EQ(probes, inOrder);
}

// Close waits for the message being handed on by another thread; a Close from the handler itself
// does not wait for itself. Either way nothing is handed on afterwards.
TEST(DispatchGate, CloseWaitsForTheMessageUnderWayUnlessMadeFromIt) {
    MessageLog log;
    std::latch entered(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    DispatchGate* self = nullptr;
    DispatchGate gate([&](const uint8_t* m, std::size_t n) {
        DatagramView view(m, n);
        if (view.sessionId() == 1) {
            entered.count_down();
            released.wait();
        } else {
            self->Close();
        }
        log.Add(m, n);
    });
    self = &gate;
    gate.Open();
    std::thread receiver([&] { Deliver(gate, ProbeNumbered(1)); });
    entered.wait();
    std::atomic<bool> closeReturned{false};
    std::thread stopper([&] {
        gate.Close();
        closeReturned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(closeReturned) << "Close returned while the handler was still running";
    release.set_value();
    stopper.join();
    receiver.join();
    EXPECT_EQ(log.Count(), 1u);
    EXPECT_FALSE(Deliver(gate, ProbeNumbered(3)));

    gate.Open();
    EXPECT_TRUE(Deliver(gate, ProbeNumbered(2))); // closes the gate from its handler
    EXPECT_FALSE(Deliver(gate, ProbeNumbered(3)));
    EXPECT_EQ(log.Count(), 2u);
}

// What a handler puts off runs after it, in order, with the gate free again (so a put-off task may
// hand on a message itself); outside a hand-off a task runs at once.
TEST(DispatchGate, PutOffTasksRunInOrderOnceTheHandlerIsDone) {
    std::vector<std::string> steps;
    DispatchGate* self = nullptr;
    DispatchGate gate([&](const uint8_t* m, std::size_t) {
        const int32_t number = DatagramView(m, 36).sessionId();
        steps.push_back("handle " + std::to_string(number));
        if (number != 1)
            return;
        vessaro::AfterDispatch([&] { steps.push_back("first"); });
        vessaro::AfterDispatch([&] {
            steps.push_back("second");
            EXPECT_TRUE(Deliver(*self, ProbeNumbered(2))) << "the gate is free again";
        });
        steps.push_back("handled 1");
    });
    self = &gate;
    gate.Open();
    ConsoleCapture console;
    ASSERT_TRUE(Deliver(gate, ProbeNumbered(1)));
    EXPECT_EQ(steps,
              (std::vector<std::string>{"handle 1", "handled 1", "first", "second", "handle 2"}));
    steps.clear();
    vessaro::AfterDispatch([&] { steps.push_back("at once"); });
    EXPECT_EQ(steps, (std::vector<std::string>{"at once"}));
}
