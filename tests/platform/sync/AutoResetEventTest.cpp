#include "platform/sync/AutoResetEvent.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

TEST(AutoResetEventTest, SignalIsConsumedByExactlyOneWait) {
    AutoResetEvent event;
    ASSERT_TRUE(event.IsValid());
    EXPECT_FALSE(event.TryWait());
    event.Set();
    event.Set();  // a second Set before the wait collapses into the same signal
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));

    AutoResetEvent initiallySet(true);
    EXPECT_TRUE(initiallySet.TryWait());
    EXPECT_FALSE(initiallySet.TryWait());

    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(AutoResetEventTest, WaitTimesOutAfterRoughlyTheTimeout) {
    AutoResetEvent event;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.Wait(50));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 45ms);
    EXPECT_LT(waited, 2s);
}

TEST(AutoResetEventTest, WaitForAnyReturnsTheLowestSignalledIndexAndConsumesOnlyThatOne) {
    std::array<AutoResetEvent, 8> events;
    std::array<AutoResetEvent*, 8> list{};
    for (size_t i = 0; i < events.size(); ++i) list[i] = &events[i];

    EXPECT_EQ(WaitForAny(list, 0), kWaitTimeout);
    events[5].Set();
    events[2].Set();
    EXPECT_EQ(WaitForAny(list, 0), 2);
    EXPECT_EQ(WaitForAny(list, 0), 5);
    EXPECT_EQ(WaitForAny(list, 20), kWaitTimeout);
}

TEST(AutoResetEventTest, WaitForAnyRefusesAMissingEvent) {
    AutoResetEvent event;
    event.Set();
    std::array<AutoResetEvent*, 2> list{&event, nullptr};
    EXPECT_EQ(WaitForAny(list, 0), kWaitFailed);
    EXPECT_EQ(WaitForAny(std::span<AutoResetEvent* const>(), 0), kWaitFailed);
    EXPECT_TRUE(event.TryWait());  // the refused wait left the signal alone
}

// A producer sets events from another thread as a device's mixer does; the consumer must see
// every round without a lost wake-up and without waiting for the time-out.
TEST(AutoResetEventTest, CrossThreadPingPongLosesNoWakeUp) {
    constexpr int kRounds = 2000;
    std::array<AutoResetEvent, 3> events;
    AutoResetEvent ack;
    std::array<AutoResetEvent*, 3> list{&events[0], &events[1], &events[2]};
    std::thread producer([&] {
        for (int i = 0; i < kRounds; ++i) {
            events[i % 3].Set();
            ASSERT_TRUE(ack.Wait(5000));
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        ASSERT_EQ(WaitForAny(list, 5000), i % 3);
        ack.Set();
    }
    producer.join();
}
