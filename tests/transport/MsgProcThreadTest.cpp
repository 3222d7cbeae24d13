#include "MsgProcThread.h"
#include "CommEndpoint.h"
#include "ConsoleCapture.h"
#include "MessageLog.h"
#include "Messages.h"
#include "QueueFeed.h"
#include "ThreadTimerService.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <latch>

using namespace std::chrono_literals;
using vessaro::CMsgQueue;
using vessaro::DatagramView;
using vessaro::MsgProcThread;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

namespace {

Bytes ProbeNumbered(int32_t number) {
    auto probe = vessaro::BuildControl(vessaro::MSG_TALK_PROBE, number);
    return Bytes(probe.begin(), probe.end());
}

void Put(CMsgQueue& queue, const Bytes& message) {
    ASSERT_EQ(queue.Send(message.data(), static_cast<int>(message.size())),
              static_cast<int>(message.size()));
}

class MsgProcThreadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(queue.Create(), 0); }

    MsgProcThread::Handler IntoLog() {
        return [this](const uint8_t* m, std::size_t n) { log.Add(m, n); };
    }

    CMsgQueue queue; // outlives the processing threads made in the tests
    MessageLog log;
};

// The receive callback of the concurrency test; plain function, so its queue is static.
CMsgQueue* forwardQueue = nullptr;
int ForwardToQueue(uint8_t* buffer, int length, const char* address, uint16_t port) {
    return vessaro::ForwardServerDatagram(*forwardQueue, buffer, length, address, port);
}

} // namespace

TEST_F(MsgProcThreadTest, HandsOnCompleteMessagesAndDropsThoseShortForTheirType) {
    ConsoleCapture console;
    MsgProcThread processor(queue, IntoLog());
    Bytes shortAck(20, 0);
    shortAck[0] = 1;
    shortAck[4] = vessaro::MSG_CONNECT_ACK;
    Bytes fullAck(40, 0);
    fullAck[0] = 1;
    fullAck[4] = vessaro::MSG_CONNECT_ACK;
    fullAck[36] = 1;
    Put(queue, shortAck);
    Put(queue, fullAck);
    ASSERT_TRUE(log.WaitForCount(1));
    processor.Stop();
    EXPECT_EQ(log.Messages(), (std::vector<Bytes>{fullAck}));
    EXPECT_EQ(console.Text(), "MsgProcThread: got a msg, protocol = 1, type = 2\n"
                              "MsgProcThread: got a msg, protocol = 1, type = 2\n");
}

TEST_F(MsgProcThreadTest, MakesTextsSafeBeforeHandingThemOn) {
    MsgProcThread processor(queue, IntoLog());
    Bytes notice(296, 'x');
    std::memset(notice.data(), 0, 36);
    notice[4] = vessaro::MSG_NOTICE;
    Put(queue, notice);
    ASSERT_TRUE(log.WaitForCount(1));
    Bytes handed = log.Messages()[0];
    ASSERT_EQ(handed.size(), 296u);
    EXPECT_EQ(DatagramView(handed.data(), handed.size()).noticeText(), std::string(255, 'x'));
}

TEST_F(MsgProcThreadTest, HandsOnMessagesInTheOrderTheyWereQueued) {
    MsgProcThread processor(queue, IntoLog());
    std::vector<Bytes> expected;
    for (int i = 0; i < 50; ++i) {
        auto tick = vessaro::BuildTimerTick(static_cast<uint32_t>(i));
        expected.emplace_back(tick.begin(), tick.end());
        ASSERT_EQ(vessaro::PutTimerTick(queue, static_cast<uint32_t>(i)), 40);
        expected.push_back(ProbeNumbered(i));
        Put(queue, expected.back());
    }
    ASSERT_TRUE(log.WaitForCount(expected.size()));
    EXPECT_EQ(log.Messages(), expected);
}

// Ticks from the timer thread and datagrams from the receive thread, put in at the same time, are
// handled one at a time and each source in its own order.
TEST_F(MsgProcThreadTest, TicksAndServerDatagramsNeverOverlap) {
    constexpr int kEach = 100;
    std::atomic<int> inHandler{0};
    std::atomic<bool> overlapped{false};
    MsgProcThread processor(queue, [&](const uint8_t* m, std::size_t n) {
        if (inHandler.fetch_add(1) != 0)
            overlapped = true;
        std::this_thread::sleep_for(50us);
        log.Add(m, n);
        inHandler.fetch_sub(1);
    });
    forwardQueue = &queue;
    auto endpoint = vessaro::CommInit(0);
    ASSERT_NE(endpoint, nullptr);
    vessaro::CommSetRecvCallback(endpoint.get(), ForwardToQueue);
    vessaro::ThreadTimerService timers;
    UdpPeer server;

    for (int i = 0; i < kEach; ++i)
        timers.Set(static_cast<uint32_t>(i / 10), static_cast<uint32_t>(i),
                   [this](uint32_t tag) { vessaro::PutTimerTick(queue, tag); });
    for (int i = 0; i < kEach; ++i)
        EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(ProbeNumbered(i))));

    ASSERT_TRUE(log.WaitForCount(2 * kEach));
    vessaro::CommStop(endpoint.get());
    EXPECT_FALSE(overlapped);
    std::vector<int> ticks, probes;
    for (const Bytes& m : log.Messages()) {
        DatagramView view(m.data(), m.size());
        if (view.type() == vessaro::MSG_TIMER)
            ticks.push_back(static_cast<int>(view.timerTag()));
        else
            probes.push_back(view.sessionId());
    }
    std::vector<int> inOrder(kEach);
    for (int i = 0; i < kEach; ++i)
        inOrder[i] = i;
    EXPECT_EQ(ticks, inOrder);
    EXPECT_EQ(probes, inOrder);
}

TEST_F(MsgProcThreadTest, ATimerTickIsTheFortyByteMessageWithItsTag) {
    MsgProcThread processor(queue, IntoLog());
    vessaro::ThreadTimerService timers;
    timers.Set(20, 11, [this](uint32_t tag) { vessaro::PutTimerTick(queue, tag); });
    ASSERT_TRUE(log.WaitForCount(1));
    Bytes tick = log.Messages()[0];
    ASSERT_EQ(tick.size(), 40u);
    DatagramView view(tick.data(), tick.size());
    EXPECT_EQ(view.protocol(), vessaro::PROTO_LOCAL);
    EXPECT_EQ(view.type(), vessaro::MSG_TIMER);
    EXPECT_EQ(view.timerTag(), 11u);
    EXPECT_EQ(Bytes(tick.begin() + 8, tick.begin() + 36), Bytes(28, 0));
}

TEST_F(MsgProcThreadTest, AKilledTimerGivesNoTick) {
    MsgProcThread processor(queue, IntoLog());
    vessaro::ThreadTimerService timers;
    auto tick = [this](uint32_t tag) { vessaro::PutTimerTick(queue, tag); };
    EXPECT_TRUE(timers.Kill(timers.Set(20, 1, tick)));
    timers.Set(120, 2, tick);
    ASSERT_TRUE(log.WaitForCount(1));
    Bytes only = log.Messages()[0];
    EXPECT_EQ(DatagramView(only.data(), only.size()).timerTag(), 2u);
    EXPECT_EQ(log.Count(), 1u);
}

TEST_F(MsgProcThreadTest, ATickAlreadyQueuedSurvivesTheKillOfItsTimer) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::latch holding(1);
    MsgProcThread processor(queue, [&](const uint8_t* m, std::size_t n) {
        if (log.Count() == 0) {
            holding.count_down();
            released.wait(); // keeps the processing thread busy while the tick waits in the queue
        }
        log.Add(m, n);
    });
    Put(queue, ProbeNumbered(1));
    holding.wait();

    vessaro::ThreadTimerService timers;
    std::latch queued(1);
    vessaro::TimerHandle handle = timers.Set(0, 4, [&](uint32_t tag) {
        vessaro::PutTimerTick(queue, tag);
        queued.count_down();
    });
    queued.wait();
    EXPECT_FALSE(timers.Kill(handle));
    release.set_value();

    ASSERT_TRUE(log.WaitForCount(2));
    Bytes tick = log.Messages()[1];
    EXPECT_EQ(DatagramView(tick.data(), tick.size()).type(), vessaro::MSG_TIMER);
    EXPECT_EQ(DatagramView(tick.data(), tick.size()).timerTag(), 4u);
}

TEST_F(MsgProcThreadTest, NothingIsHandedOnAfterStop) {
    MsgProcThread processor(queue, IntoLog());
    Put(queue, ProbeNumbered(1));
    ASSERT_TRUE(log.WaitForCount(1));
    processor.Stop();
    processor.Stop();
    Put(queue, ProbeNumbered(2));
    std::this_thread::sleep_for(100ms); // the thread is joined: nothing may arrive in any time
    EXPECT_EQ(log.Count(), 1u);
}

TEST_F(MsgProcThreadTest, StopFromTheHandlerDoesNotWaitForItself) {
    std::unique_ptr<MsgProcThread> processor;
    std::latch made(1);
    processor = std::make_unique<MsgProcThread>(queue, [&](const uint8_t* m, std::size_t n) {
        made.wait();
        processor->Stop();
        log.Add(m, n);
    });
    made.count_down();
    Put(queue, ProbeNumbered(1));
    Put(queue, ProbeNumbered(2));
    ASSERT_TRUE(log.WaitForCount(1));
    processor.reset(); // joins the thread that ended after the first message
    EXPECT_EQ(log.Count(), 1u);
}
