#include "media/console_redirector.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>

#include "media/command_line.h"
#include "platform/text.h"

namespace {
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
    std::vector<std::string> args = BuildArguments(commandLine);
    int err = args.empty() ? ENOENT : SpawnChild(args);
    if (err == 0) err = MakeStopEvent();
    if (err == 0) err = StartReader();
    if (err == 0) return true;
    FailStart(err);
    return false;
}

std::vector<std::string> CConsoleRedirector::BuildArguments(const std::wstring& commandLine) {
    std::vector<std::string> args;
    for (const auto& a : media::SplitCommandLine(commandLine))
        args.push_back(media::WideToBytes(a));
    return args;
}

// The program reads its input from one pipe and writes its output and errors
// into another; it leads a process group of its own and ends with the
// thread that started it.
int CConsoleRedirector::SpawnChild(const std::vector<std::string>& args) {
    // A missing program fails here, not inside the wrapper.
    const std::string program = platform::FindProgram(args.front());
    if (program.empty()) return ENOENT;
    platform::ChildOptions o;
    if (!platform::ParentDeathWrapper().empty())
        o.argv = {platform::ParentDeathWrapper(), "--pdeathsig", "TERM", "--"};
    o.argv.push_back(program);
    o.argv.insert(o.argv.end(), args.begin() + 1, args.end());
    o.in = platform::ChildStream::kPipe;
    o.out = platform::ChildStream::kPipe;
    o.err = platform::ChildStream::kToStdout;
    o.ownSession = true;
    int err = child_.Spawn(o);
    if (err != 0) return err;
    stdinWrite_ = std::move(child_.stdinPipe());
    stdoutRead_ = std::move(child_.stdoutPipe());
    // The reader never blocks on a read.
    ::fcntl(stdoutRead_.get(), F_SETFL, O_NONBLOCK);
    return 0;
}

int CConsoleRedirector::MakeStopEvent() {
    stopFd_.Reset(::eventfd(0, EFD_CLOEXEC));
    return stopFd_ ? 0 : errno;
}

int CConsoleRedirector::StartReader() {
    try {
        {
            std::lock_guard<std::mutex> g(doneMutex_);
            readerDone_ = false;
        }
        readerRunning_ = true;
        reader_ = std::thread([this] { ReaderMain(); });
    } catch (...) {
        readerRunning_ = false;
        std::lock_guard<std::mutex> g(doneMutex_);
        readerDone_ = true;
        return EAGAIN;
    }
    return 0;
}

void CConsoleRedirector::FailStart(int err) {
    OnError(platform::Format("Redirect console error: %x\r\n", err).c_str());
    Stop();
    errno = err;
}

int CConsoleRedirector::Drain() {
    for (;;) {
        int avail = 0;
        if (::ioctl(stdoutRead_.get(), FIONREAD, &avail) != 0) break;
        if (avail == 0) {
            // Nothing to read: closed when every writer has gone.
            pollfd p{stdoutRead_.get(), POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN))
                return 0;
            return 1;
        }
        char buf[256] = {};
        ssize_t n = ::read(stdoutRead_.get(), buf, avail < 255 ? avail : 255);
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
        pollfd fds[3] = {{child_.pidFd(), POLLIN, 0},
                         {stopFd_.get(), POLLIN, 0},
                         {stdoutRead_.get(), POLLIN, 0}};
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
            pollfd p{child_.pidFd(), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(pollTimeoutMs));
        }
    }
    ReaderDone(r);
}

void CConsoleRedirector::ReaderDone(int result) {
    int status = 0;
    if (child_.Poll(&status) == platform::ChildProcess::Phase::kEnded)
        exitCode_ = platform::ExitCodeOf(status);
    readerResult_ = result;
    readerRunning_ = false;
    std::lock_guard<std::mutex> g(doneMutex_);
    readerDone_ = true;
    doneCv_.notify_all();
}

bool CConsoleRedirector::WaitForReader(int ms) {
    if (!reader_.joinable()) return true;
    {
        std::unique_lock<std::mutex> g(doneMutex_);
        auto done = [this] { return readerDone_; };
        if (ms < 0)
            doneCv_.wait(g, done);
        else if (!doneCv_.wait_for(g, std::chrono::milliseconds(ms), done))
            return false;
    }
    reader_.join();
    return true;
}

bool CConsoleRedirector::SendCommand(const wchar_t* fmt, ...) {
    if (!stdinWrite_) return false;
    va_list ap;
    va_start(ap, fmt);
    std::string text = platform::ToUtf8(platform::FormatWV(0, fmt, ap));
    va_end(ap);
    return ::write(stdinWrite_.get(), text.data(), text.size()) ==
           static_cast<ssize_t>(text.size());
}

uint32_t CConsoleRedirector::ChildExitCode() {
    int status = 0;
    switch (child_.Poll(&status)) {
        case platform::ChildProcess::Phase::kRunning:
            return kStillActive;
        case platform::ChildProcess::Phase::kEnded:
            return platform::ExitCodeOf(status);
        case platform::ChildProcess::Phase::kNone:
            break;
    }
    return exitCode_;
}

void CConsoleRedirector::KillChildProcesses() {
    if (ChildExitCode() != kStillActive) return;
    // The program leads a process group of its own; what it started is in
    // that group unless it moved away, and then its parent ids still lead
    // back to the program.
    child_.KillTree(SIGKILL);
}

void CConsoleRedirector::Stop() {
    std::lock_guard<std::mutex> g(stopMutex_);
    if (reader_.joinable()) {
        if (reader_.get_id() == std::this_thread::get_id()) {
            reader_.detach();
        } else {
            uint64_t one = 1;
            if (stopFd_) (void)!::write(stopFd_.get(), &one, sizeof one);
            reader_.join();
        }
    }
    stopFd_.Reset();
    child_.Kill(SIGKILL);
    child_.Wait();
    stdinWrite_.Reset();
    stdoutRead_.Reset();
}
