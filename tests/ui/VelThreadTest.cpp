#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ui/core/VelSemaphore.h"
#include "ui/core/VelThread.h"

namespace {

void WaitUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

TEST(VelThread, StartWhileInWorkIsRefusedAndAsksTheJobToStop) {
    TVelThread worker;
    TVELSemaphore proceed(1);
    proceed.WaitForever();
    std::atomic<bool> sawCancel{false};
    ASSERT_TRUE(worker.Start([&] {
        proceed.WaitForever();
        sawCancel = worker.Cancelled();
    }));
    EXPECT_TRUE(worker.InWork());
    EXPECT_FALSE(worker.Cancelled());

    std::atomic<bool> secondRan{false};
    EXPECT_FALSE(worker.Start([&] { secondRan = true; }));
    EXPECT_TRUE(worker.Cancelled());
    proceed.Release();
    worker.CancelAndWait();
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(secondRan);
    EXPECT_FALSE(worker.InWork());
}

TEST(VelThread, OnlyTheCurrentJobsThreadIsTheWorkerThread) {
    TVelThread worker;
    TVelThread other;
    EXPECT_FALSE(worker.OnWorkerThread());
    std::atomic<int> inOwn{-1}, inOther{-1};
    ASSERT_TRUE(worker.Start([&] { inOwn = worker.OnWorkerThread() ? 1 : 0; }));
    ASSERT_TRUE(other.Start([&] { inOther = worker.OnWorkerThread() ? 1 : 0; }));
    worker.WaitForJob();
    other.WaitForJob();
    EXPECT_EQ(inOwn, 1);
    EXPECT_EQ(inOther, 0); // another object's job is not this one's worker
    EXPECT_FALSE(worker.OnWorkerThread());
}

TEST(VelThread, StartAfterAFinishedJobRunsWithAFreshStopRequest) {
    TVelThread worker;
    ASSERT_TRUE(worker.Start([] {}));
    WaitUntil([&] { return !worker.InWork(); });
    worker.Cancel(); // the old job's request must not leak into the next job
    std::atomic<int> cancelledInSecond{-1};
    ASSERT_TRUE(worker.Start([&] { cancelledInSecond = worker.Cancelled() ? 1 : 0; }));
    WaitUntil([&] { return cancelledInSecond != -1; });
    EXPECT_EQ(cancelledInSecond, 0);
}

TEST(VelThread, IgnoreCancelHidesAStopRequestAndIsClearedByStart) {
    TVelThread worker;
    TVELSemaphore proceed(1);
    proceed.WaitForever();
    std::atomic<int> seen{-1};
    ASSERT_TRUE(worker.Start([&] {
        worker.SetIgnoreCancel(true);
        proceed.WaitForever();
        seen = worker.Cancelled() ? 1 : 0;
    }));
    worker.Cancel();
    proceed.Release();
    worker.CancelAndWait();
    EXPECT_EQ(seen, 0);
    ASSERT_TRUE(worker.Start([] {}));
    EXPECT_FALSE(worker.IgnoreCancel());
    worker.CancelAndWait();
}

TEST(VelThread, CancelWithoutAJobDoesNothing) {
    TVelThread worker;
    worker.Cancel();
    worker.CancelAndWait();
    EXPECT_FALSE(worker.Cancelled());
    EXPECT_FALSE(worker.InWork());
}

TEST(VelThread, DestroyWaitsForTheRunningJob) {
    std::atomic<bool> finished{false};
    {
        TVelThread worker;
        ASSERT_TRUE(worker.Start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            finished = true;
        }));
    }
    EXPECT_TRUE(finished);
}

TEST(VelThread, TerminateNotificationFollowsEveryJob) {
    TVelThread worker;
    std::atomic<int> notified{0};
    worker.SetTerminateNotification([&] { ++notified; });
    ASSERT_TRUE(worker.Start([] {}));
    worker.CancelAndWait();
    ASSERT_TRUE(worker.Start([] {}));
    worker.CancelAndWait();
    EXPECT_EQ(notified, 2);
}

// Closing a track (CancelAndWait) while another thread already waits for the same job
// (WaitForJob): both return once the job has ended, and the thread is joined exactly once.
TEST(VelThread, TwoThreadsMayWaitForOneJobAtOnce) {
    for (int round = 0; round < 50; ++round) {
        TVelThread worker;
        std::atomic<bool> release{false};
        ASSERT_TRUE(worker.Start([&] {
            while (!release && !worker.Cancelled())
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }));
        std::atomic<int> waiting{0};
        std::thread a([&] {
            ++waiting;
            worker.WaitForJob();
        });
        std::thread b([&] {
            ++waiting;
            worker.WaitForJob();
        });
        WaitUntil([&] { return waiting == 2; });
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        worker.CancelAndWait();
        a.join();
        b.join();
        EXPECT_FALSE(worker.InWork());
    }
}
