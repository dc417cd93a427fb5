#pragma once
// Opening files whose kind nobody promised: a name in the input folder, the settings file, the
// log file. A FIFO, a terminal or a socket under such a name would hold an ordinary open (or the
// first read) until somebody else acts, which on an unattended run may be never.

#include <sys/types.h>

#include <string>

/// Opens the path with the flags (O_RDONLY, or O_WRONLY | O_CREAT | O_APPEND, ...; O_CLOEXEC is
/// added) without ever waiting for the other end of anything, and keeps the descriptor only when
/// it is a regular file. Otherwise -1 with errno set: the open's own reason, EISDIR for a folder,
/// ENODEV for anything else that is not a regular file. The descriptor blocks as usual afterwards.
int OpenRegularFile(const char* path, int flags, mode_t mode = 0644);

/// The reason an OpenRegularFile failed, as one line without a line end: "Not a regular file"
/// for ENODEV, else the system's text of the code.
std::string OpenFailureText(int code);
