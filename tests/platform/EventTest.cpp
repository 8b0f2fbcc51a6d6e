#include "platform/Event.h"

#include "support/Program.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>
#include <thread>

using kestra::platform::Event;
using kestra::testing::Clock;
using kestra::testing::MillisecondsSince;
using namespace std::chrono_literals;

TEST(Event, ManualResetEventWaitsTimesOutAndWakesAcrossThreads) {
    Event event;
    auto start = Clock::now();
    EXPECT_FALSE(event.Wait(20));
    EXPECT_GE(MillisecondsSince(start), 20);
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0)) << "a manual-reset event must not clear itself on a wait";
    event.Reset();
    EXPECT_FALSE(event.Wait(1));

    std::thread setter([&] {
        std::this_thread::sleep_for(5ms);
        event.Set();
    });
    EXPECT_TRUE(event.Wait(10000));
    setter.join();
}

// A spinning wait ends by itself whatever the other thread does: at once when
// it is done already, by its limit (or sooner on a busy machine) when it
// never is, and it looks once more before it gives up.
TEST(SpinWait, EndsWhenDoneOrAtItsLimit) {
    kestra::platform::SpinWait spin;
    int looks = 0;
    EXPECT_TRUE(spin.Until([&looks] { return ++looks > 0; }, 10s));
    EXPECT_EQ(looks, 1);

    looks = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(spin.Until([&looks] { return ++looks < 0; }, 2ms));
    EXPECT_LT(MillisecondsSince(start), 1000) << "the limit is a few milliseconds";
    EXPECT_GE(looks, 2);
}
