// The owned descriptor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/unique_fd.h"

using platform::UniqueFd;

namespace {
bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}
}  // namespace

TEST(UniqueFd, ClosesExactlyOnce) {
    UniqueFd a(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(a);
    int n = a.get();
    {
        UniqueFd b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), n);
    }
    EXPECT_FALSE(IsOpen(n));
    // The number comes back for the next file; the moved-from owner must
    // not close that one.
    UniqueFd again(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(again.get(), n);
    a.Reset();
    a = UniqueFd();
    EXPECT_TRUE(IsOpen(n));

    // Taking the own descriptor again keeps it; taking another closes the old.
    again.Reset(n);
    EXPECT_TRUE(IsOpen(n));
    UniqueFd other(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int m = other.get();
    other = std::move(again);
    EXPECT_FALSE(IsOpen(m));
    EXPECT_EQ(other.get(), n);

    int released = other.Release();
    EXPECT_FALSE(other);
    EXPECT_TRUE(IsOpen(released));
    ::close(released);
}

TEST(UniqueFd, CloseReportsAFailedClose) {
    UniqueFd u(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ::close(u.get());  // gone behind the owner's back
    EXPECT_FALSE(u.Close());
    EXPECT_FALSE(u);
    EXPECT_TRUE(u.Close()) << "nothing held, nothing to fail";
}

TEST(UniqueFd, PipeEndsAreCloseOnExec) {
    UniqueFd r, w;
    ASSERT_EQ(platform::MakePipe(r, w, O_NONBLOCK), 0);
    for (int fd : {r.get(), w.get()}) {
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
        EXPECT_TRUE(::fcntl(fd, F_GETFL) & O_NONBLOCK);
    }
    ASSERT_EQ(::write(w.get(), "x", 1), 1);
    char c = 0;
    EXPECT_EQ(::read(r.get(), &c, 1), 1);
}
