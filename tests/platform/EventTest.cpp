#include "platform/Event.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using kestra::platform::Event;
using namespace std::chrono_literals;

TEST(Event, StaysSetUntilResetAndReleasesEveryWaiter) {
    Event event;
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0)) << "a manual-reset event must not clear itself on a wait";
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(1));
}

TEST(Event, WaitTimesOutWithoutASetter) {
    Event event;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.Wait(20));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

TEST(Event, SetFromAnotherThreadWakesTheWaiter) {
    Event event;
    std::thread setter([&] {
        std::this_thread::sleep_for(5ms);
        event.Set();
    });
    EXPECT_TRUE(event.Wait(10000));
    setter.join();
}
