// The child-process starter on real processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/unique_fd.h"
#include "support/process_harness.h"

using platform::ChildOptions;
using platform::ChildProcess;
using platform::ChildStream;

namespace {

// Everything until end of file, at most `seconds` long.
std::string ReadAll(int fd, int seconds = 20) {
    std::string all;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[4096];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return all;
        all.append(buf, static_cast<size_t>(n));
    }
    return all + "<time-out>";
}

std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

bool WaitUntil(const std::function<bool()>& f) {
    return testsupport::WaitFor(f, std::chrono::seconds(10));
}

// Gone, or a zombie not yet reaped by its new parent.
bool Gone(pid_t p) {
    if (::kill(p, 0) != 0) return true;
    std::ifstream stat("/proc/" + std::to_string(p) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    return close == std::string::npos || all.compare(close, 3, ") Z") == 0;
}

ChildOptions Command(std::vector<std::string> argv) {
    ChildOptions o;
    o.argv = std::move(argv);
    return o;
}

}  // namespace

TEST(ChildProcess, PipesFileEnvironmentAndExitStatus) {
    ChildProcess cat;
    ChildOptions o = Command({"cat"});
    o.in = o.out = ChildStream::kPipe;
    ASSERT_EQ(cat.Spawn(o), 0);
    ASSERT_EQ(::write(cat.stdinPipe().get(), "hello\n", 6), 6);
    cat.stdinPipe().Reset();
    EXPECT_EQ(ReadAll(cat.stdoutPipe().get()), "hello\n");
    EXPECT_EQ(cat.Wait(), 0);

    ChildProcess sh;
    o = Command({"sh", "-c", "echo out; echo err >&2; exit 3"});
    o.out = ChildStream::kPipe;
    o.err = ChildStream::kToStdout;
    ASSERT_EQ(sh.Spawn(o), 0);
    EXPECT_EQ(ReadAll(sh.stdoutPipe().get()), "out\nerr\n");
    std::optional<int> st = sh.Wait();
    ASSERT_TRUE(st);
    EXPECT_EQ(platform::ExitCodeOf(*st), 3u);

    char dir[] = "/tmp/cv-child-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/out.txt";
    ChildProcess env;
    o = Command({"/bin/sh", "-c", "echo \"$CV_ONLY-$HOME\"; echo e >&2"});
    o.env = std::vector<std::string>{"CV_ONLY=1"};
    o.out = ChildStream::kFile;
    o.outputFile = file;
    o.err = ChildStream::kToStdout;
    ASSERT_EQ(env.Spawn(o), 0);
    EXPECT_EQ(env.Wait(), 0);
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "1-\ne\n") << "only the given environment";
    std::remove(file.c_str());
    ::rmdir(dir);
}

TEST(ChildProcess, FailuresTimeOutsAndSignals) {
    ChildProcess missing;
    EXPECT_EQ(missing.Spawn(Command({"/nonexistent/tool"})), ENOENT);
    EXPECT_EQ(missing.pid(), -1);
    EXPECT_EQ(missing.Poll(), ChildProcess::Phase::kNone);
    EXPECT_EQ(ChildProcess().Spawn(ChildOptions{}), ENOENT);

    ChildProcess sleeper;
    ASSERT_EQ(sleeper.Spawn(Command({"sleep", "30"})), 0);
    EXPECT_FALSE(sleeper.Wait(50)) << "still running";
    EXPECT_EQ(sleeper.Poll(), ChildProcess::Phase::kRunning);
    sleeper.Kill(SIGTERM);
    int status = 0;
    EXPECT_TRUE(WaitUntil([&] { return sleeper.Poll(&status) == ChildProcess::Phase::kEnded; }));
    EXPECT_EQ(platform::ExitCodeOf(status), 128u + SIGTERM) << "seen without reaping";
    std::optional<int> st = sleeper.Wait(5000);
    ASSERT_TRUE(st);
    EXPECT_TRUE(WIFSIGNALED(*st) && WTERMSIG(*st) == SIGTERM);
    EXPECT_TRUE(sleeper.Reaped());
    EXPECT_EQ(sleeper.pidFd(), -1);
    EXPECT_EQ(sleeper.Poll(), ChildProcess::Phase::kNone);
    EXPECT_EQ(sleeper.Wait(0), st) << "the status stays";
}

TEST(ChildProcess, SecondChildHoldsNoDescriptorOfTheFirst) {
    // A descriptor the parent left inheritable must stay behind too.
    char name[] = "/tmp/cv-leak-XXXXXX";
    int leaked = ::mkstemp(name);
    ASSERT_GE(leaked, 0);
    ASSERT_FALSE(::fcntl(leaked, F_GETFD) & FD_CLOEXEC);

    ChildProcess first;
    ChildOptions o = Command({"cat"});
    o.in = o.out = ChildStream::kPipe;
    ASSERT_EQ(first.Spawn(o), 0);
    ChildProcess second;
    o = Command({"sh", "-c", "ls /proc/$$/fd; exec sleep 30 >/dev/null"});
    o.out = ChildStream::kPipe;
    ASSERT_EQ(second.Spawn(o), 0);
    std::string fds = ReadAll(second.stdoutPipe().get(), 10);
    // Were the first child's input held by the second, it would never end.
    first.stdinPipe().Reset();
    EXPECT_EQ(ReadAll(first.stdoutPipe().get(), 10), "");
    EXPECT_TRUE(first.Wait(10000).has_value()) << "the first child's input never closed";
    EXPECT_EQ(fds, "0\n1\n2\n") << "only its standard streams";
    ::close(leaked);
    ::unlink(name);
}

TEST(ChildProcess, ChildGetsSigpipeAtDefaultAndAnEmptyMask) {
    struct sigaction old {};
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ign, &old);
    sigset_t block, oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask);

    ChildProcess c;
    ChildOptions o = Command({"grep", "-E", "^Sig(Ign|Blk)", "/proc/self/status"});
    o.out = ChildStream::kPipe;
    int err = c.Spawn(o);
    sigaction(SIGPIPE, &old, nullptr);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ASSERT_EQ(err, 0);
    std::string text = ReadAll(c.stdoutPipe().get());
    EXPECT_EQ(c.Wait(), 0);
    auto mask = [&](const char* key) {
        size_t at = text.find(key);
        return at == std::string::npos ? ~0ull : std::strtoull(text.c_str() + at + 7, nullptr, 16);
    };
    EXPECT_EQ(mask("SigIgn:") & (1ull << (SIGPIPE - 1)), 0u) << text;
    EXPECT_EQ(mask("SigBlk:") & (1ull << (SIGUSR1 - 1)), 0u) << text;
}

TEST(ChildProcess, KillReachesTheGroupAndTreeReachesEscapees) {
    ChildProcess group;
    ChildOptions o = Command({"sh", "-c", "sleep 60 & echo $!; wait"});
    o.out = ChildStream::kPipe;
    o.ownSession = true;
    ASSERT_EQ(group.Spawn(o), 0);
    pid_t member = std::atoi(ReadLine(group.stdoutPipe().get()).c_str());
    ASSERT_GT(member, 0);
    group.Kill(SIGKILL);
    ASSERT_TRUE(group.Wait(10000));
    EXPECT_TRUE(WaitUntil([&] { return Gone(member); })) << "the group's member is left";

    // One that left for a session of its own is found through its parents.
    ChildProcess tree;
    o.argv = {"sh", "-c", "setsid sleep 60 & echo $!; wait"};
    ASSERT_EQ(tree.Spawn(o), 0);
    pid_t escapee = std::atoi(ReadLine(tree.stdoutPipe().get()).c_str());
    ASSERT_GT(escapee, 0);
    ASSERT_TRUE(WaitUntil([&] { return ::getsid(escapee) == escapee; }));
    std::vector<pid_t> below = platform::DescendantsOf(tree.pid());
    EXPECT_NE(std::find(below.begin(), below.end(), escapee), below.end());
    tree.KillTree(SIGKILL);
    ASSERT_TRUE(tree.Wait(10000));
    EXPECT_TRUE(WaitUntil([&] { return Gone(escapee); })) << "the escapee is left";
}

TEST(ChildProcess, DestructionEndsAndReapsTheChild) {
    pid_t p = -1;
    {
        ChildProcess c;
        ChildOptions o = Command({"sh", "-c", "trap '' TERM; sleep 60"});
        o.ownSession = true;
        ASSERT_EQ(c.Spawn(o), 0);
        p = c.pid();
        ChildProcess moved(std::move(c));
        EXPECT_EQ(c.pid(), -1);
        EXPECT_EQ(moved.pid(), p);
    }
    // Reaped by us, so not even a zombie is left.
    EXPECT_EQ(::kill(p, 0), -1);
    EXPECT_TRUE(WaitUntil([&] { return ::kill(-p, 0) == -1; }));
}
