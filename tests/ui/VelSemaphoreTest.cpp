#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ui/core/VelSemaphore.h"

TEST(VelSemaphore, CountNeverExceedsItsMaximumAndTimeoutsSayWhy) {
    TVELSemaphore sem(1);
    EXPECT_EQ(sem.LastError(), "");
    EXPECT_TRUE(sem.Wait(0));
    EXPECT_FALSE(sem.Wait(10));
    EXPECT_EQ(sem.LastError(), "WaitForSingleObject 258");
    // Two releases on an empty semaphore of maximum 1 give one wake-up, not two.
    EXPECT_TRUE(sem.Release());
    EXPECT_TRUE(sem.Release());
    EXPECT_EQ(sem.Count(), 1);
    EXPECT_TRUE(sem.Wait(0));
    EXPECT_FALSE(sem.Wait(0));
}

TEST(VelSemaphore, ReleaseFromAnotherThreadWakesAnUnlimitedWait) {
    TVELSemaphore sem(1);
    ASSERT_TRUE(sem.WaitForever());
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sem.Release();
    });
    EXPECT_TRUE(sem.WaitForever());
    releaser.join();
}
