#include "platform/unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

void UniqueFd::Reset(int fd) noexcept {
    if (fd == fd_) return;  // taking the own descriptor again must not close it
    Close();
    fd_ = fd < 0 ? -1 : fd;
}

bool UniqueFd::Close() noexcept {
    if (fd_ < 0) return true;
    // On Linux the descriptor is released even when close fails (EINTR
    // included), so it is never retried.
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

int MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd, int extraFlags) {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC | extraFlags) != 0) return errno;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    return 0;
}

}  // namespace platform
