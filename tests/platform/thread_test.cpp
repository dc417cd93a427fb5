#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Event.h"
#include "platform/Thread.h"

using namespace std::chrono_literals;

TEST(Event, AutoResetReleasesOneWaitManualResetStays) {
    Event autoEvent(Event::Mode::AutoReset);
    EXPECT_FALSE(autoEvent.Wait(0));
    autoEvent.Set();
    EXPECT_TRUE(autoEvent.Wait(0));
    EXPECT_FALSE(autoEvent.Wait(0));  // the wait cleared it

    Event manual(Event::Mode::ManualReset, true);
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(10));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));

    // A timed wait really waits, and a set from another thread ends it early.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(manual.Wait(60));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        autoEvent.Set();
    });
    EXPECT_TRUE(autoEvent.Wait(kInfinite));
    setter.join();
}

TEST(Event, WaitForAnyAnswersTheFirstSignalledAndClearsOnlyIt) {
    Event check(Event::Mode::AutoReset);
    Event stop(Event::Mode::ManualReset);
    EXPECT_EQ(WaitForAnyEvent({&check, &stop}, 0), -1);
    check.Set();
    stop.Set();
    EXPECT_EQ(WaitForAnyEvent({&check, &stop}, 0), 0);
    EXPECT_EQ(WaitForAnyEvent({&check, &stop}, 0), 1);  // manual: stays set
    EXPECT_EQ(WaitForAnyEvent({&check, &stop}, 0), 1);
    EXPECT_EQ(WaitForAnyEvent({nullptr, &check}, 0), -1);
}

TEST(Thread, HandleTellsAliveEndedAndExitCode) {
    Event release(Event::Mode::ManualReset);
    ThreadHandle handle = ThreadHandle::Start([&] {
        release.Wait(kInfinite);
        return 7;
    }, THREAD_PRIORITY_LOWEST);
    ASSERT_TRUE(handle.IsValid());
    EXPECT_TRUE(handle.IsAlive());
    EXPECT_FALSE(handle.Wait(20));
    release.Set();
    EXPECT_TRUE(handle.Wait(kInfinite));
    EXPECT_FALSE(handle.IsAlive());
    EXPECT_EQ(handle.ExitCode(), 7);
    handle.Close();
    EXPECT_FALSE(handle.IsValid());
    EXPECT_FALSE(handle.IsAlive());
}

TEST(Thread, WaitForThreadDispatchesUntilTheThreadEnds) {
    // The thread needs the window thread to run a request before it can end, as a worker does
    // with its synchronous requests.
    Event input(Event::Mode::AutoReset);
    std::atomic<bool> requested{false};
    std::atomic<bool> answered{false};
    ThreadHandle handle = ThreadHandle::Start([&] {
        requested = true;
        input.Set();
        while (!answered)
            std::this_thread::sleep_for(1ms);
        return 0;
    });
    int dispatches = 0;
    MessagePump pump{[&] {
                         ++dispatches;
                         if (requested)
                             answered = true;
                         return true;
                     },
                     &input};
    EXPECT_EQ(WaitForThread(handle, pump), ThreadWait::Ended);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_GE(dispatches, 1);
}

TEST(Thread, WaitForThreadGivesUpOrQuitsWithoutTouchingTheThread) {
    Event release(Event::Mode::ManualReset);
    ThreadHandle handle = ThreadHandle::Start([&] {
        release.Wait(kInfinite);
        return 0;
    });
    std::shared_ptr<ThreadState> state = handle.State();

    // A quit request returns at once and leaves the handle.
    MessagePump quitting{[] { return false; }, nullptr};
    EXPECT_EQ(WaitForThread(handle, quitting, 50), ThreadWait::Quit);
    EXPECT_TRUE(handle.IsAlive());

    // Giving up closes the handle; the thread runs on and can still be waited for.
    auto start = std::chrono::steady_clock::now();
    MessagePump idle{[] { return true; }, nullptr};
    EXPECT_EQ(WaitForThread(handle, idle, 80), ThreadWait::GaveUp);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 75ms);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_FALSE(state->ended.Wait(0));
    release.Set();
    EXPECT_TRUE(state->ended.Wait(kInfinite));

    // An empty handle counts as ended.
    EXPECT_EQ(WaitForThread(handle, idle, 80), ThreadWait::Ended);
}
