// The event every blocking serial call also waits on, on either system's body.
#include <gtest/gtest.h>

#include <thread>

#include "platform/serial/CancelEvent.h"

TEST(CancelEvent, StaysSetUntilResetAndEndsAWaitFromAnotherThread) {
    serial::CancelEvent event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(20));  // runs out unset

    event.Set();
    event.Set();  // twice is still once: one Reset clears it
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.IsSet());  // waiting does not consume it
    event.Reset();
    EXPECT_FALSE(event.IsSet());

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        event.Set();
    });
    EXPECT_TRUE(event.Wait(-1));  // no limit: only the Set ends it
    setter.join();
}
