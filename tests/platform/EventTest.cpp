#include "platform/Event.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using kestra::platform::Event;
using kestra::platform::testing::Clock;
using kestra::platform::testing::MillisecondsSince;
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
