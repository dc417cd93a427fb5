#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SystemError.h"

int OpenRegularFile(const char* path, int flags, mode_t mode) {
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    // O_NONBLOCK makes the open of a FIFO return at once (or fail with ENXIO when it is opened
    // for writing and nobody reads); for a regular file it changes nothing, and it is cleared
    // again below.
    const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    struct stat info {};
    int refused = 0;
    if (::fstat(fd, &info) != 0)
        refused = errno;
    else if (!S_ISREG(info.st_mode))
        refused = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
    if (refused != 0) {
        ::close(fd);
        errno = refused;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1)
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

std::string OpenFailureText(int code) {
    if (code == ENODEV)
        return "Not a regular file";
    std::string text = SystemErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
