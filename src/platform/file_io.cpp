#include "platform/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

ReadResult ReadWholeFile(const std::string& path, size_t maxBytes, std::string& out,
                         struct stat* stOut) {
    out.clear();
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Error;
    struct stat st {};
    ReadResult result = ReadResult::Ok;
    if (fstat(fd, &st) != 0) {
        result = ReadResult::Error;
    } else {
        if (stOut) *stOut = st;
        if (!S_ISREG(st.st_mode))
            result = ReadResult::NotRegular;
        else if (static_cast<uint64_t>(st.st_size) > maxBytes)
            result = ReadResult::TooLarge;
    }
    // One allocation for the size the file has now; one that grows is still read whole.
    if (result == ReadResult::Ok) out.reserve(static_cast<size_t>(st.st_size) + 1);
    char buf[65536];
    while (result == ReadResult::Ok) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result = ReadResult::Error;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > maxBytes) result = ReadResult::TooLarge;  // grew while read
    }
    close(fd);
    if (result != ReadResult::Ok) out.clear();
    return result;
}

}  // namespace platform
