// Calls to the window thread: posted in order, waited for from other threads, dropped once the
// window is gone, and never leaving a waiting thread behind.

#include "shell/WindowCalls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A window thread of the test's own: the test thread, woken by counting.
struct Fixture {
    std::atomic<int> wakes{0};
    std::shared_ptr<WindowCalls> calls = WindowCalls::Create([this](std::weak_ptr<WindowCalls>) { ++wakes; });
};

}  // namespace

TEST(WindowCalls, PostedCallsRunInOrderOnDrainWithOneWakePerBatch) {
    Fixture f;
    std::vector<int> ran;
    for (int i = 0; i < 3; ++i)
        f.calls->Post([&ran, i] { ran.push_back(i); });
    EXPECT_EQ(f.wakes, 1);
    EXPECT_TRUE(ran.empty());
    f.calls->Drain();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
    // A call posted while the queue is drained wakes the thread again: the call before it may run
    // a dialog with a loop of its own.
    f.calls->Post([&] { f.calls->Post([&ran] { ran.push_back(9); }); });
    f.calls->Drain();
    EXPECT_EQ(ran.back(), 9);
    EXPECT_EQ(f.wakes, 3);
}

TEST(WindowCalls, InvokeFromAnotherThreadRunsOnTheWindowThreadAndWaits) {
    Fixture f;
    std::thread::id ranOn;
    int answer = 0;
    bool invoked = false;
    std::thread worker([&] {
        invoked = f.calls->Invoke([&] {
            ranOn = std::this_thread::get_id();
            answer = 42;
        });
    });
    while (f.wakes == 0)
        std::this_thread::yield();
    f.calls->Drain();
    worker.join();
    EXPECT_TRUE(invoked);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    // On the window thread itself the call runs at once.
    EXPECT_TRUE(f.calls->Invoke([&] { answer = 7; }));
    EXPECT_EQ(answer, 7);
}

TEST(WindowCalls, ClosingDropsCallsAndReleasesWaiters) {
    Fixture f;
    bool ran = false;
    f.calls->Post([&] { ran = true; });
    ASSERT_TRUE(f.calls->Input().Wait(0));
    std::atomic<int> result{-1};
    std::thread worker([&] { result = f.calls->Invoke([&] { ran = true; }) ? 1 : 0; });
    ASSERT_TRUE(f.calls->Input().Wait(5000));  // the worker's call is queued
    f.calls->Close();
    worker.join();
    EXPECT_EQ(result, 0);
    f.calls->Post([&] { ran = true; });
    f.calls->Drain();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(f.calls->Invoke([&] { ran = true; }));
    EXPECT_FALSE(ran);
}
