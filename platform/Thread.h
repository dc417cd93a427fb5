#pragma once
// Threads with Windows-style handles: a handle can be polled for the thread's end, waited on with
// a timeout, and closed while the thread still runs (the thread then runs on by itself, and
// whoever still holds its ThreadState can wait for it). WaitForThread waits on the window thread
// while keeping that thread's own work going.

#include <functional>
#include <memory>
#include <thread>

#include "platform/Event.h"

constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_LOWEST = -2;

/// What outlives a closed handle: the thread's end, signalled once its procedure has returned.
struct ThreadState {
    Event ended{Event::Mode::ManualReset};
    int exitCode = 0;
};

class ThreadHandle {
public:
    ThreadHandle() = default;
    ~ThreadHandle();
    ThreadHandle(ThreadHandle&& other) noexcept = default;
    ThreadHandle& operator=(ThreadHandle&& other) noexcept;
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;

    /// Starts the procedure on a new thread at the priority (THREAD_PRIORITY_*); an empty handle
    /// when the thread cannot be created.
    static ThreadHandle Start(std::function<int()> procedure, int priority = THREAD_PRIORITY_NORMAL);

    bool IsValid() const { return state_ != nullptr; }
    /// A thread is alive while it has a handle and a zero-timeout wait on the handle times out.
    bool IsAlive() const;
    /// True when the thread has ended within the timeout (milliseconds, kInfinite for ever).
    bool Wait(int timeoutMs) const;
    int ExitCode() const { return state_ ? state_->exitCode : 0; }
    /// Closes and forgets the handle; a thread that still runs is left running.
    void Close();
    /// The thread's end, for a wait after the handle has been closed.
    std::shared_ptr<ThreadState> State() const { return state_; }

private:
    std::shared_ptr<ThreadState> state_;
    std::thread thread_;
};

/// The window thread's own work, as seen by a wait: `dispatch` runs everything pending and answers
/// false when the program is quitting; `input`, when given, is signalled whenever new work arrives.
struct MessagePump {
    std::function<bool()> dispatch;
    Event* input = nullptr;
};

enum class ThreadWait { Ended, GaveUp, Quit };

/// Waits for the thread while dispatching the window thread's work. When the thread ends the handle
/// is closed and forgotten; after `giveUpMs` the wait gives up and closes the handle without
/// touching the thread; when dispatching reports that the program is quitting the wait returns at
/// once and leaves the handle as it is. An empty handle counts as ended. With kInfinite the wait
/// never gives up.
ThreadWait WaitForThread(ThreadHandle& handle, const MessagePump& pump, int giveUpMs = 5000);

/// Lowers the calling thread's scheduling priority by the Windows-style amount (no raise).
void SetCurrentThreadPriority(int priority);
