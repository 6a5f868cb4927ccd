// Runs the preview tests on an X server of their own: Xvfb is started on a
// free display before the Qt application. Without Xvfb every test skips.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/child_process.h"
#include "xvfb.h"

namespace {

pid_t g_server = -1;
std::string g_skip;

// Starts Xvfb and sets DISPLAY; false with the reason in g_skip.
bool StartServer() {
    std::string xvfb = platform::FindProgram("Xvfb");
    if (xvfb.empty()) {
        g_skip = "Xvfb is not installed (apt-get install xvfb); the player tests need an X server";
        return false;
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        g_skip = "no pipe for Xvfb";
        return false;
    }
    g_server = ::fork();
    if (g_server == 0) {
        ::close(fds[0]);
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        std::string fd = std::to_string(fds[1]);
        ::execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1200x24",
                "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 15000) > 0) {
        char c;
        if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
        g_skip = "Xvfb did not start";
        return false;
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

void StopServer() {
    if (g_server <= 0) return;
    ::kill(g_server, SIGTERM);
    ::waitpid(g_server, nullptr, 0);
    g_server = -1;
}

}  // namespace

namespace xvfb {
const std::string& SkipReason() {
    return g_skip;
}
}  // namespace xvfb

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
    if (listing) {
        g_skip = "listing";
    } else if (StartServer()) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // The tests draw nothing with OpenGL themselves.
        ::setenv("QT_XCB_GL_INTEGRATION", "none", 1);
    }
    if (!g_skip.empty()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int rc;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    StopServer();
    return rc;
}
