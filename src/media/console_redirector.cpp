#include "media/console_redirector.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/command_line.h"
#include "platform/text.h"

extern char** environ;

namespace {
void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}
std::once_flag g_sigpipeOnce;
}  // namespace

CConsoleRedirector::CConsoleRedirector() {
    // A write to a program that has ended fails with EPIPE instead.
    std::call_once(g_sigpipeOnce, [] { ::signal(SIGPIPE, SIG_IGN); });
}

CConsoleRedirector::~CConsoleRedirector() {
    // The derived class's destructor stops; this one only makes sure.
    if (reader_.joinable()) Stop();
}

bool CConsoleRedirector::Start(const std::wstring& commandLine) {
    int outPipe[2] = {-1, -1}, inPipe[2] = {-1, -1};
    int err = 0;
    std::vector<std::string> args;
    for (const auto& a : media::SplitCommandLine(commandLine))
        args.push_back(media::WideToBytes(a));
    if (args.empty()) {
        err = ENOENT;
    } else if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(inPipe, O_CLOEXEC) != 0) {
        err = errno;
    } else {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
        posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&fa, outPipe[1], 2);
        posix_spawnattr_init(&attr);
        sigset_t def;
        sigemptyset(&def);
        sigaddset(&def, SIGPIPE);
        posix_spawnattr_setsigdefault(&attr, &def);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
        pid_t pid = 0;
        err = posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        if (err == 0) {
            childPid_ = pid;
            reaped_ = false;
            pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
            if (pidFd_ < 0) err = errno;
        }
        if (err == 0) {
            CloseFd(inPipe[0]);
            CloseFd(outPipe[1]);
            stdinWrite_ = inPipe[1];
            stdoutRead_ = outPipe[0];
            inPipe[1] = outPipe[0] = -1;
            ::fcntl(stdoutRead_, F_SETFL, O_NONBLOCK);
            stopFd_ = ::eventfd(0, EFD_CLOEXEC);
            if (stopFd_ < 0) err = errno;
        }
        if (err == 0) {
            try {
                {
                    std::lock_guard<std::mutex> g(doneMutex_);
                    readerDone_ = false;
                }
                readerRunning_ = true;
                reader_ = std::thread([this] { ReaderMain(); });
            } catch (...) {
                readerRunning_ = false;
                readerDone_ = true;
                err = EAGAIN;
            }
        }
    }
    if (err == 0) return true;
    OnError(platform::Format("Redirect console error: %x\r\n", err).c_str());
    for (int* fd : {&outPipe[0], &outPipe[1], &inPipe[0], &inPipe[1]}) CloseFd(*fd);
    Stop();
    errno = err;
    return false;
}

int CConsoleRedirector::Drain() {
    for (;;) {
        int avail = 0;
        if (::ioctl(stdoutRead_, FIONREAD, &avail) != 0) break;
        if (avail == 0) {
            // Nothing to read: closed when every writer has gone.
            pollfd p{stdoutRead_, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN))
                return 0;
            return 1;
        }
        char buf[256] = {};
        ssize_t n = ::read(stdoutRead_, buf, avail < 255 ? avail : 255);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 1;
            if (n == 0) return 0;
            break;
        }
        buf[n] = 0;
        OnOutput(buf);
    }
    if (errno == EPIPE) return 0;
    OnError("Read stdout pipe error\r\n");
    return -1;
}

void CConsoleRedirector::ReaderMain() {
    int r = Drain();
    while (r > 0) {
        // The pipe is watched too, so output arrives at once rather than
        // at the next poll time-out.
        pollfd fds[3] = {{pidFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}, {stdoutRead_, POLLIN, 0}};
        int n = ::poll(fds, 3, static_cast<int>(pollTimeoutMs));
        if (n < 0 && errno == EINTR) continue;
        if (n > 0 && (fds[0].revents & POLLIN)) {
            // The last output; a read error is still reported.
            r = Drain() < 0 ? -1 : 0;
            break;
        }
        if (n > 0 && (fds[1].revents & POLLIN)) {
            r = 1;
            break;
        }
        r = Drain();
        if (r == 0) {
            // Output closed: the program is ending; wait briefly for it.
            pollfd p{pidFd_, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(pollTimeoutMs));
        }
    }
    siginfo_t si{};
    if (::waitid(P_PID, childPid_, &si, WEXITED | WNOHANG | WNOWAIT) == 0 && si.si_pid == childPid_)
        exitCode_ = si.si_code == CLD_EXITED ? static_cast<uint32_t>(si.si_status)
                                             : 128u + static_cast<uint32_t>(si.si_status);
    readerResult_ = r;
    readerRunning_ = false;
    std::lock_guard<std::mutex> g(doneMutex_);
    readerDone_ = true;
}

bool CConsoleRedirector::WaitForReader(int ms) {
    if (!reader_.joinable()) return true;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    while (true) {
        {
            std::lock_guard<std::mutex> g(doneMutex_);
            if (readerDone_) break;
        }
        if (ms >= 0 && std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    reader_.join();
    return true;
}

bool CConsoleRedirector::SendCommand(const wchar_t* fmt, ...) {
    if (stdinWrite_ < 0) return false;
    va_list ap;
    va_start(ap, fmt);
    std::string text = platform::ToUtf8(platform::FormatWV(0, fmt, ap));
    va_end(ap);
    return ::write(stdinWrite_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

uint32_t CConsoleRedirector::ChildExitCode() {
    if (childPid_ <= 0 || reaped_) return exitCode_;
    siginfo_t si{};
    if (::waitid(P_PID, childPid_, &si, WEXITED | WNOHANG | WNOWAIT) != 0) return exitCode_;
    if (si.si_pid == 0) return kStillActive;
    return si.si_code == CLD_EXITED ? static_cast<uint32_t>(si.si_status)
                                    : 128u + static_cast<uint32_t>(si.si_status);
}

void CConsoleRedirector::KillChildProcesses() {
    if (childPid_ <= 0 || ChildExitCode() != kStillActive) return;
    // The program leads a session and process group of its own; what it
    // started is in that group unless it moved away, so the parent ids in
    // /proc are walked as well.
    std::vector<pid_t> todo{childPid_}, found;
    while (!todo.empty()) {
        pid_t parent = todo.back();
        todo.pop_back();
        DIR* d = ::opendir("/proc");
        if (!d) break;
        while (dirent* e = ::readdir(d)) {
            pid_t p = static_cast<pid_t>(std::atoi(e->d_name));
            if (p <= 0) continue;
            char path[64];
            std::snprintf(path, sizeof path, "/proc/%d/stat", p);
            FILE* f = std::fopen(path, "r");
            if (!f) continue;
            char line[1024] = {};
            size_t n = std::fread(line, 1, sizeof line - 1, f);
            std::fclose(f);
            line[n] = 0;
            char* close = std::strrchr(line, ')');
            int ppid = 0;
            if (close && std::sscanf(close + 1, " %*c %d", &ppid) == 1 && ppid == parent) {
                found.push_back(p);
                todo.push_back(p);
            }
        }
        ::closedir(d);
    }
    ::kill(-childPid_, SIGKILL);
    for (pid_t p : found) ::kill(p, SIGKILL);
}

void CConsoleRedirector::Stop() {
    std::lock_guard<std::mutex> g(stopMutex_);
    if (reader_.joinable()) {
        if (reader_.get_id() == std::this_thread::get_id()) {
            reader_.detach();
        } else {
            uint64_t one = 1;
            if (stopFd_ >= 0) (void)!::write(stopFd_, &one, sizeof one);
            reader_.join();
        }
    }
    CloseFd(stopFd_);
    if (childPid_ > 0 && !reaped_) {
        ::kill(-childPid_, SIGKILL);
        ::kill(childPid_, SIGKILL);
        ::waitpid(childPid_, nullptr, 0);
        reaped_ = true;
    }
    CloseFd(pidFd_);
    CloseFd(stdinWrite_);
    CloseFd(stdoutRead_);
}
