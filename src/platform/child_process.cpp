#include "platform/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

extern char** environ;

namespace platform {

namespace {

// posix_spawn's two records, released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Routes one standard stream of the child; `childEnd` receives the child's
// end of a pipe, `parentEnd` the parent's.
int PlanStream(SpawnSetup& s, int target, ChildStream how, const std::string& file,
               UniqueFd& childEnd, UniqueFd& parentEnd) {
    auto* fa = &s.actions;
    switch (how) {
        case ChildStream::kInherit:
            return 0;
        case ChildStream::kPipe: {
            int err = target == 0 ? MakePipe(childEnd, parentEnd) : MakePipe(parentEnd, childEnd);
            if (err != 0) return err;
            return posix_spawn_file_actions_adddup2(fa, childEnd.get(), target);
        }
        case ChildStream::kNull:
            return posix_spawn_file_actions_addopen(fa, target, "/dev/null",
                                                    target == 0 ? O_RDONLY : O_WRONLY, 0);
        case ChildStream::kFile:
            if (target != 1 || file.empty()) return EINVAL;
            return posix_spawn_file_actions_addopen(fa, 1, file.c_str(),
                                                    O_WRONLY | O_CREAT | O_TRUNC, 0644);
        case ChildStream::kToStdout:
            if (target != 2) return EINVAL;
            return posix_spawn_file_actions_adddup2(fa, 1, 2);
    }
    return EINVAL;
}

int StatusFromSiginfo(const siginfo_t& si) {
    switch (si.si_code) {
        case CLD_EXITED:
            return (si.si_status & 0xff) << 8;
        case CLD_DUMPED:
            return (si.si_status & 0x7f) | 0x80;
        default:
            return si.si_status & 0x7f;
    }
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> p;
    p.reserve(words.size() + 1);
    for (auto& w : words) p.push_back(w.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

ChildProcess::~ChildProcess() {
    Clear();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept {
    *this = std::move(other);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this == &other) return *this;
    Clear();
    pid_ = std::exchange(other.pid_, -1);
    reaped_ = std::exchange(other.reaped_, false);
    ownSession_ = std::exchange(other.ownSession_, false);
    status_ = std::exchange(other.status_, -1);
    pidFd_ = std::move(other.pidFd_);
    stdin_ = std::move(other.stdin_);
    stdout_ = std::move(other.stdout_);
    stderr_ = std::move(other.stderr_);
    return *this;
}

void ChildProcess::Clear() {
    if (pid_ > 0 && !reaped_) {
        Kill(SIGKILL);
        Wait();
    }
    pid_ = -1;
    reaped_ = false;
    status_ = -1;
    pidFd_.Reset();
    stdin_.Reset();
    stdout_.Reset();
    stderr_.Reset();
}

std::string FindProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    const std::string all = path ? path : "/usr/bin:/bin";
    for (size_t from = 0; from <= all.size();) {
        const size_t colon = std::min(all.find(':', from), all.size());
        const std::string dir = all.substr(from, colon - from);
        const std::string full = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(full.c_str(), X_OK) == 0) return full;
        from = colon + 1;
    }
    return {};
}

const std::string& ParentDeathWrapper() {
    static const std::string path = [] {
        for (const char* p : {"/usr/bin/setpriv", "/bin/setpriv"})
            if (::access(p, X_OK) == 0) return std::string(p);
        return std::string();
    }();
    return path;
}

int ChildProcess::Spawn(const ChildOptions& o) {
    Clear();
    if (o.argv.empty() || o.argv[0].empty()) return ENOENT;
    SpawnSetup s;
    UniqueFd childIn, childOut, childErr;
    UniqueFd parentIn, parentOut, parentErr;
    int err = PlanStream(s, 0, o.in, o.outputFile, childIn, parentIn);
    if (err == 0) err = PlanStream(s, 1, o.out, o.outputFile, childOut, parentOut);
    if (err == 0) err = PlanStream(s, 2, o.err, o.outputFile, childErr, parentErr);
    // Whatever the parent holds open without close-on-exec stays behind.
    if (err == 0) err = posix_spawn_file_actions_addclosefrom_np(&s.actions, 3);
    if (err != 0) return err;

    sigset_t none, pipeOnly;
    sigemptyset(&none);
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setsigdefault(&s.attr, &pipeOnly);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (o.ownSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&s.attr, flags);

    std::vector<std::string> args = o.argv;
    std::vector<char*> argv = Pointers(args);
    std::vector<std::string> envWords = o.env ? *o.env : std::vector<std::string>{};
    std::vector<char*> envp = Pointers(envWords);
    pid_t pid = -1;
    err = posix_spawnp(&pid, argv[0], &s.actions, &s.attr, argv.data(),
                       o.env ? envp.data() : environ);
    if (err != 0) return err;

    pid_ = pid;
    reaped_ = false;
    ownSession_ = o.ownSession;
    pidFd_.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!pidFd_) {
        err = errno;
        Clear();
        return err;
    }
    stdin_ = std::move(parentIn);
    stdout_ = std::move(parentOut);
    stderr_ = std::move(parentErr);
    return 0;  // the child's ends close here
}

ChildProcess::Phase ChildProcess::Poll(int* status) const {
    if (pid_ <= 0 || reaped_) return Phase::kNone;
    siginfo_t si{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &si, WEXITED | WNOHANG | WNOWAIT) != 0)
        return Phase::kNone;
    if (si.si_pid != pid_) return Phase::kRunning;
    if (status) *status = StatusFromSiginfo(si);
    return Phase::kEnded;
}

std::optional<int> ChildProcess::Wait(int ms) {
    if (pid_ <= 0) return -1;
    if (reaped_) return status_;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        int st = 0;
        pid_t r = ::waitpid(pid_, &st, ms < 0 ? 0 : WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            status_ = st;
            break;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            reaped_ = true;
            status_ = -1;
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{pidFd_.get(), POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    }
    pidFd_.Reset();
    return status_;
}

void ChildProcess::Kill(int sig) {
    if (pid_ <= 0 || reaped_) return;
    if (ownSession_) ::kill(-pid_, sig);
    ::kill(pid_, sig);
}

void ChildProcess::KillTree(int sig) {
    if (pid_ <= 0 || reaped_) return;
    std::vector<pid_t> found = DescendantsOf(pid_);
    Kill(sig);
    for (pid_t p : found) ::kill(p, sig);
}

unsigned ExitCodeOf(int waitStatus) {
    if (waitStatus == -1) return 0;
    if (WIFEXITED(waitStatus)) return static_cast<unsigned>(WEXITSTATUS(waitStatus));
    if (WIFSIGNALED(waitStatus)) return 128u + static_cast<unsigned>(WTERMSIG(waitStatus));
    return 0;
}

std::vector<pid_t> DescendantsOf(pid_t root) {
    // One pass over /proc for every process's parent, then the tree from root.
    std::vector<std::pair<pid_t, pid_t>> parents;  // (pid, parent)
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            pid_t p = static_cast<pid_t>(std::atoi(e->d_name));
            if (p <= 0) continue;
            char path[64];
            std::snprintf(path, sizeof path, "/proc/%d/stat", p);
            FILE* f = std::fopen(path, "re");
            if (!f) continue;
            char line[1024] = {};
            size_t n = std::fread(line, 1, sizeof line - 1, f);
            std::fclose(f);
            line[n] = 0;
            // The name in parentheses may hold anything; the fields follow the last ')'.
            char* close = std::strrchr(line, ')');
            int ppid = 0;
            if (close && std::sscanf(close + 1, " %*c %d", &ppid) == 1)
                parents.emplace_back(p, static_cast<pid_t>(ppid));
        }
        ::closedir(d);
    }
    std::vector<pid_t> found, todo{root};
    while (!todo.empty()) {
        pid_t parent = todo.back();
        todo.pop_back();
        for (const auto& [p, pp] : parents) {
            if (pp == parent && p != root) {
                found.push_back(p);
                todo.push_back(p);
            }
        }
    }
    return found;
}

}  // namespace platform
