#include "shell/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr char kRaiseRequest[] = "raise\n";

// A new stream socket and the address of the channel at path; -1 when the path does not fit an
// address or no socket can be made.
int OpenSocket(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

}  // namespace

InstanceChannel::~InstanceChannel() {
    Stop();
}

bool InstanceChannel::Listen(const std::string& path, std::function<void()> onRaise) {
    Stop();
    sockaddr_un address;
    const int fd = OpenSocket(path, address);
    if (fd < 0)
        return false;
    ::unlink(path.c_str());
    // Only the user may connect: the socket is made without any access for others.
    const mode_t previousMask = ::umask(0077);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(previousMask);
    if (!bound || ::listen(fd, 4) != 0 || ::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    path_ = path;
    onRaise_ = std::move(onRaise);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void InstanceChannel::Serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        // A request is one short line; a client that sends nothing within a second is dropped.
        char buffer[sizeof kRaiseRequest] = "";
        pollfd in = {client, POLLIN, 0};
        ssize_t got = ::poll(&in, 1, 1000) > 0 ? ::read(client, buffer, sizeof buffer - 1) : -1;
        if (got > 0 && std::strncmp(buffer, kRaiseRequest, sizeof kRaiseRequest - 1) == 0 && onRaise_)
            onRaise_();
        ::close(client);
    }
}

void InstanceChannel::Stop() {
    if (thread_.joinable()) {
        const char stop = 1;
        if (::write(stopPipe_[1], &stop, 1) < 0) {
            // The pipe is ours and empty; a failed write leaves nothing to do but wait.
        }
        thread_.join();
    }
    for (int* fd : {&listenFd_, &stopPipe_[0], &stopPipe_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (!path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

bool InstanceChannel::SendRaise(const std::string& path) {
    sockaddr_un address;
    const int fd = OpenSocket(path, address);
    if (fd < 0)
        return false;
    const bool sent = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                      ::write(fd, kRaiseRequest, sizeof kRaiseRequest - 1) ==
                          static_cast<ssize_t>(sizeof kRaiseRequest - 1);
    ::close(fd);
    return sent;
}
