#pragma once
// The channel through which a second interactive start asks the running instance to raise its
// window: a Unix socket in a folder of the user's own. The running instance listens on a thread
// of the channel's own; the second start connects, sends one request and leaves.

#include <functional>
#include <string>
#include <thread>

class InstanceChannel {
public:
    InstanceChannel() = default;
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    /// Listens at the socket path (a file left there by an earlier instance is replaced: the
    /// caller holds the single-instance lock). onRaise runs on the channel's thread for every
    /// request. False when the socket cannot be made.
    bool Listen(const std::string& path, std::function<void()> onRaise);
    /// Stops listening and removes the socket.
    void Stop();

    /// Asks the instance listening at the path to raise its window; false when none answered.
    static bool SendRaise(const std::string& path);

private:
    void Serve();

    std::string path_;
    std::function<void()> onRaise_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};
