#include "platform/Event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Every event shares one lock and one condition: a wait for any of several events then needs no
// registration with each of them, and events are set rarely enough for a shared wake-up to cost
// nothing that matters.
std::mutex& EventLock() {
    static std::mutex lock;
    return lock;
}

std::condition_variable& EventChanged() {
    static std::condition_variable changed;
    return changed;
}

}  // namespace

bool Event::Set() {
    {
        std::lock_guard<std::mutex> guard(EventLock());
        set_ = true;
    }
    EventChanged().notify_all();
    return true;
}

bool Event::Reset() {
    std::lock_guard<std::mutex> guard(EventLock());
    set_ = false;
    return true;
}

bool Event::Wait(int timeoutMs) {
    return WaitForAnyEvent({this}, timeoutMs) == 0;
}

int WaitForAnyEvent(std::initializer_list<Event*> events, int timeoutMs) {
    int signalled = -1;
    // Runs under the lock; clears an auto-reset event only when it is the one taken.
    auto take = [&]() {
        int index = 0;
        for (Event* event : events) {
            if (event && event->set_) {
                if (event->mode_ == Event::Mode::AutoReset)
                    event->set_ = false;
                signalled = index;
                return true;
            }
            ++index;
        }
        return false;
    };
    std::unique_lock<std::mutex> lock(EventLock());
    if (timeoutMs == kInfinite) {
        EventChanged().wait(lock, take);
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
        EventChanged().wait_until(lock, deadline, take);
    }
    return signalled;
}
