// Runs the desktop tests inside a Qt application, on a D-Bus daemon of
// their own that stands in for both the session and the system bus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <string>

#include "support/process_harness.h"

extern char** environ;

int main(int argc, char** argv) {
    testsupport::TempDir busDir;
    std::string address = "unix:path=" + (busDir / "bus");
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return 1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    // It complains that it may not raise its descriptor limit; that is fine.
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::string addrArg = "--address=" + address;
    const char* args[] = {"dbus-daemon", "--session", "--nofork", addrArg.c_str(), "--print-address=1", nullptr};
    pid_t daemon = -1;
    int rc = posix_spawnp(&daemon, "dbus-daemon", &fa, nullptr, const_cast<char**>(args), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start dbus-daemon\n");
        return 1;
    }
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
        char buf[256];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    if (line.find('\n') == std::string::npos) {
        std::fprintf(stderr, "dbus-daemon gave no address\n");
        kill(daemon, SIGTERM);
        return 1;
    }
    line.resize(line.find('\n'));
    setenv("DBUS_SESSION_BUS_ADDRESS", line.c_str(), 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", line.c_str(), 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int result;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    kill(daemon, SIGTERM);
    waitpid(daemon, nullptr, 0);
    return result;
}
