#include "CMsgQueue.h"
#include "QueueReader.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vessaro::CMsgQueue;
using vessaro::test::UdpPeer;

TEST(CMsgQueue, KeepsMessagesWholeAndInOrder) {
    CMsgQueue queue;
    ASSERT_EQ(queue.Create(), 0);
    EXPECT_NE(queue.Port(), 0);
    const std::vector<Bytes> sent = {Bytes{7}, Bytes(40, 0x26), Bytes(4096, 0xEE), Bytes(36, 0)};
    for (const Bytes& m : sent)
        EXPECT_EQ(queue.Send(m.data(), static_cast<int>(m.size())), static_cast<int>(m.size()));
    for (const Bytes& m : sent)
        EXPECT_EQ(TakeFromQueue(queue), m);
}

TEST(CMsgQueue, SendBeforeCreateFailsAndCreateTwiceKeepsThePort) {
    CMsgQueue queue;
    Bytes m(36, 1);
    EXPECT_EQ(queue.Send(m.data(), 36), -1);
    Bytes buffer(64);
    EXPECT_EQ(queue.Recv(buffer.data(), 64), 0);

    ASSERT_EQ(queue.Create(), 0);
    uint16_t port = queue.Port();
    ASSERT_EQ(queue.Create(), 0);
    EXPECT_EQ(queue.Port(), port);
    EXPECT_EQ(queue.Send(m.data(), 36), 36);
    EXPECT_EQ(TakeFromQueue(queue), m);
}

TEST(CMsgQueue, AMessageLargerThanTheBufferIsDroppedNotCutShort) {
    CMsgQueue queue;
    ASSERT_EQ(queue.Create(), 0);
    Bytes big(100, 3), next(10, 4);
    queue.Send(big.data(), 100);
    queue.Send(next.data(), 10);
    Bytes buffer(64);
    EXPECT_EQ(queue.Recv(buffer.data(), 64), 0);
    EXPECT_EQ(queue.Recv(buffer.data(), 64), 10);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 10), next);
}

TEST(CMsgQueue, TakesNothingFromOtherSocketsOnThisMachine) {
    CMsgQueue queue;
    ASSERT_EQ(queue.Create(), 0);
    UdpPeer intruder;
    EXPECT_TRUE(intruder.SendTo(queue.Port(), Bytes(40, 0x99)));
    Bytes ours(36, 0x01);
    queue.Send(ours.data(), 36);
    EXPECT_EQ(TakeFromQueue(queue), ours);
    EXPECT_FALSE(TakeFromQueue(queue, 100ms).has_value());
}
