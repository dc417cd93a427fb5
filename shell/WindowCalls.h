#pragma once
// Calls from any thread to the window thread: posted calls that run later in the order posted,
// and calls that wait for their answer (a message box, the Select Codec dialog) while the window
// thread goes on serving its own work. Once the window is gone the queue is closed: what was
// still queued is dropped, later posts are dropped and a waiting caller is released without its
// call having run. Nothing here knows a window; the window side hands in how to wake its thread.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Event.h"

class WindowCalls : public std::enable_shared_from_this<WindowCalls> {
public:
    using Call = std::function<void()>;
    /// Asks the window thread to run Drain soon; called from any thread, at most once per batch.
    using Wake = std::function<void(std::weak_ptr<WindowCalls>)>;

    /// The calling thread becomes the window thread.
    static std::shared_ptr<WindowCalls> Create(Wake wake);
    WindowCalls(const WindowCalls&) = delete;
    WindowCalls& operator=(const WindowCalls&) = delete;

    bool IsWindowThread() const { return std::this_thread::get_id() == windowThread_; }

    /// Queues the call for the window thread; dropped once the queue is closed.
    void Post(Call call);
    /// Runs the call on the window thread and waits for it to finish (at once when called there).
    /// False when it did not run because the queue was closed first.
    bool Invoke(const Call& call);

    /// Runs every queued call, in order (window thread only). Calls queued meanwhile run too.
    void Drain();
    /// Closes the queue (window thread only): queued calls are dropped, waiting callers released.
    void Close();
    bool IsClosed() const;

    /// Signalled whenever a call is queued.
    Event& Input() { return input_; }

private:
    struct Pending;
    explicit WindowCalls(Wake wake);
    bool Queue(Call call, const std::shared_ptr<Pending>& pending);

    Wake wake_;
    std::thread::id windowThread_;
    mutable std::mutex mutex_;
    struct Item {
        Call call;
        std::shared_ptr<Pending> pending;  // set for a caller that waits
    };
    std::deque<Item> queue_;
    bool wakeRequested_ = false;
    bool closed_ = false;
    Event input_{Event::Mode::AutoReset};
};
