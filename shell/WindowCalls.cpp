#include "shell/WindowCalls.h"

struct WindowCalls::Pending {
    Event done{Event::Mode::ManualReset};
    bool ran = false;  // written before done is set, read after it was seen
};

std::shared_ptr<WindowCalls> WindowCalls::Create(Wake wake) {
    return std::shared_ptr<WindowCalls>(new WindowCalls(std::move(wake)));
}

WindowCalls::WindowCalls(Wake wake) : wake_(std::move(wake)), windowThread_(std::this_thread::get_id()) {}

bool WindowCalls::Queue(Call call, const std::shared_ptr<Pending>& pending) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_)
            return false;
        queue_.push_back(Item{std::move(call), pending});
        wake = !wakeRequested_;
        wakeRequested_ = true;
    }
    input_.Set();
    if (wake && wake_)
        wake_(weak_from_this());
    return true;
}

void WindowCalls::Post(Call call) {
    Queue(std::move(call), nullptr);
}

bool WindowCalls::Invoke(const Call& call) {
    if (IsWindowThread()) {
        if (IsClosed())
            return false;
        call();
        return true;
    }
    auto pending = std::make_shared<Pending>();
    if (!Queue(call, pending))
        return false;
    pending->done.Wait(kInfinite);
    return pending->ran;
}

void WindowCalls::Drain() {
    for (;;) {
        Item item;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_ || queue_.empty()) {
                wakeRequested_ = false;
                return;
            }
            item = std::move(queue_.front());
            queue_.pop_front();
            // A call may run a dialog with an event loop of its own: what is posted meanwhile
            // must wake that loop rather than wait for this call to return.
            if (queue_.empty())
                wakeRequested_ = false;
        }
        item.call();
        if (item.pending) {
            item.pending->ran = true;
            item.pending->done.Set();
        }
    }
}

void WindowCalls::Close() {
    std::deque<Item> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        dropped.swap(queue_);
    }
    for (Item& item : dropped)
        if (item.pending)
            item.pending->done.Set();
}

bool WindowCalls::IsClosed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}
