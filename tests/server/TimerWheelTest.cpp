#include "TimerWheel.h"
#include "DeadlineQueue.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vessaro {
namespace {

// Takes everything due by nowMs from both and expects the same items in the same order.
void ExpectSameDue(TimerWheel<int>& wheel, DeadlineQueue<int>& heap, int64_t nowMs) {
    std::vector<int> fromWheel, fromHeap;
    while (auto item = wheel.PopDue(nowMs))
        fromWheel.push_back(*item);
    while (auto item = heap.PopDue(nowMs))
        fromHeap.push_back(*item);
    ASSERT_EQ(fromWheel, fromHeap) << "at " << nowMs;
    ASSERT_EQ(wheel.NextDue(), heap.NextDue()) << "after " << nowMs;
}

// The wheel against a heap, over random deadlines near and far (many times the wheel's reach, so
// slots are reused and items wait outside the wheel), ties at the same millisecond, and steps of
// time short and long.
TEST(TimerWheel, TakesItemsInTheOrderAndAtTheTimesOfAHeap) {
    struct Case {
        std::size_t slots;
        int64_t maxDelay;
        int64_t maxStep;
    };
    for (const Case c :
         {Case{64, 40, 3}, Case{64, 1000, 50}, Case{1024, 5000, 700}, Case{64, 200, 100000}}) {
        std::mt19937 random(unsigned(c.slots + c.maxDelay));
        TimerWheel<int> wheel(c.slots);
        DeadlineQueue<int> heap;
        int64_t now = 1'000'000;
        int next = 0;
        for (int round = 0; round < 3000; ++round) {
            for (int k = int(random() % 4); k > 0; --k) {
                const int64_t due = now + int64_t(random() % uint64_t(c.maxDelay + 1));
                wheel.Push(due, next);
                heap.Push(due, next++);
            }
            now += int64_t(random() % uint64_t(c.maxStep + 1));
            ExpectSameDue(wheel, heap, now);
            if (HasFatalFailure())
                return;
        }
        EXPECT_EQ(wheel.size(), heap.size());
    }
}

// What a timer puts in while due items are taken (a repeat due at once, or later) comes out as a
// heap would give it.
TEST(TimerWheel, ItemsPutInWhileTakingAreTakenInOrder) {
    TimerWheel<int> wheel(64);
    wheel.Push(10, 1);
    wheel.Push(10, 2);
    std::vector<int> taken;
    while (auto item = wheel.PopDue(20)) {
        taken.push_back(*item);
        if (*item == 1) {
            wheel.Push(20, 3); // due at the time being swept
            wheel.Push(15, 4); // due earlier than that
            wheel.Push(21, 5); // not yet
        }
    }
    EXPECT_EQ(taken, (std::vector<int>{1, 2, 4, 3}));
    EXPECT_EQ(wheel.NextDue(), 21);
}

TEST(TimerWheel, NothingBeforeTheFirstSweepAndDeadlinesBeyondTheReach) {
    TimerWheel<int> wheel(64);
    EXPECT_FALSE(wheel.NextDue());
    wheel.Push(5000, 1); // far beyond 64 ms
    wheel.Push(100, 2);
    EXPECT_EQ(wheel.NextDue(), 100);
    EXPECT_FALSE(wheel.PopDue(99));
    EXPECT_EQ(wheel.PopDue(100), 2);
    EXPECT_EQ(wheel.NextDue(), 5000);
    EXPECT_FALSE(wheel.PopDue(4999));
    EXPECT_EQ(wheel.PopDue(1'000'000), 1);
    EXPECT_EQ(wheel.size(), 0u);
    wheel.Clear();
    EXPECT_FALSE(wheel.NextDue());
}

} // namespace
} // namespace vessaro
