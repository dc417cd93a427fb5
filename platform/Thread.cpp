#include "platform/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

ThreadHandle::~ThreadHandle() {
    Close();
}

ThreadHandle& ThreadHandle::operator=(ThreadHandle&& other) noexcept {
    if (this != &other) {
        Close();
        state_ = std::move(other.state_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

ThreadHandle ThreadHandle::Start(std::function<int()> procedure, int priority) {
    ThreadHandle handle;
    auto state = std::make_shared<ThreadState>();
    try {
        handle.thread_ = std::thread([state, procedure = std::move(procedure), priority]() {
            SetCurrentThreadPriority(priority);
            state->exitCode = procedure();
            state->ended.Set();
        });
    } catch (const std::system_error&) {
        return ThreadHandle();
    }
    handle.state_ = std::move(state);
    return handle;
}

bool ThreadHandle::IsAlive() const {
    return state_ && !state_->ended.Wait(0);
}

bool ThreadHandle::Wait(int timeoutMs) const {
    return !state_ || state_->ended.Wait(timeoutMs);
}

void ThreadHandle::Close() {
    if (thread_.joinable()) {
        // A thread that has ended is joined; one that still runs goes on detached, and its state
        // stays with whoever kept it.
        if (state_ && state_->ended.Wait(0))
            thread_.join();
        else
            thread_.detach();
    }
    state_.reset();
}

namespace {

constexpr int kPollMs = 10;

}  // namespace

ThreadWait WaitForThread(ThreadHandle& handle, const MessagePump& pump, int giveUpMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const bool bounded = giveUpMs != kInfinite;
    for (;;) {
        if (pump.dispatch && !pump.dispatch())
            return ThreadWait::Quit;
        if (!handle.IsValid())
            return ThreadWait::Ended;
        int remaining = kInfinite;
        if (bounded) {
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            remaining = elapsed >= giveUpMs ? 0 : giveUpMs - static_cast<int>(elapsed);
        }
        // Without an input event the window thread's work is looked at every few milliseconds.
        if (!pump.input && (remaining == kInfinite || remaining > kPollMs))
            remaining = kPollMs;
        std::shared_ptr<ThreadState> state = handle.State();
        int woke = WaitForAnyEvent({&state->ended, pump.input}, remaining);
        if (woke == 0) {
            handle.Close();
            return ThreadWait::Ended;
        }
        if (bounded && Clock::now() - start >= std::chrono::milliseconds(giveUpMs)) {
            handle.Close();
            return ThreadWait::GaveUp;
        }
        // New work for the window thread: dispatch it and wait again.
    }
}

void SetCurrentThreadPriority(int priority) {
    if (priority >= 0)
        return;
    // Linux keeps a nice value per thread; raising it by the Windows steps (two nice levels each)
    // makes the thread yield to the window thread and to other programs.
    pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    errno = 0;
    int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (current == -1 && errno != 0)
        return;
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current - 2 * priority);
}
