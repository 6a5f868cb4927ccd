#pragma once
// Starts one child program directly (never through a shell) with its
// standard streams on pipes, a file or the parent's own, and ends it.
// The child gets no descriptor of the parent beyond its three standard
// streams, and SIGPIPE at its default even where the parent ignores it.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

enum class ChildStream {
    kInherit,   // the parent's own
    kPipe,      // a pipe whose other end the parent holds
    kNull,      // /dev/null
    kFile,      // stdout only: ChildOptions::outputFile, created or truncated
    kToStdout,  // stderr only: wherever stdout goes
};

// The program `name` would start as: `name` itself when it holds a slash,
// else the first executable of that name along PATH; empty when none is.
std::string FindProgram(const std::string& name);

// The system's tool that runs a program with a parent-death signal set
// (setpriv --pdeathsig SIG -- PROGRAM ...), so that the program ends when
// the thread that started it is gone, even by SIGKILL; empty when the
// system lacks it.
const std::string& ParentDeathWrapper();

struct ChildOptions {
    // argv[0] is a path, or a name looked up in PATH.
    std::vector<std::string> argv;
    // "NAME=value" entries; the parent's environment when absent.
    std::optional<std::vector<std::string>> env;
    ChildStream in = ChildStream::kInherit;
    ChildStream out = ChildStream::kInherit;
    ChildStream err = ChildStream::kInherit;
    std::string outputFile;
    // The child leads a session and process group of its own, so that Kill
    // reaches whatever it starts.
    bool ownSession = false;
};

class ChildProcess {
  public:
    enum class Phase { kNone, kRunning, kEnded };

    ChildProcess() = default;
    // A child still unreaped is killed (with its group) and reaped.
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // 0, or the errno of the step that failed (nothing is left running then).
    int Spawn(const ChildOptions& options);

    // The parent's ends of the pipes asked for; close stdinPipe to send EOF.
    UniqueFd& stdinPipe() { return stdin_; }
    UniqueFd& stdoutPipe() { return stdout_; }
    UniqueFd& stderrPipe() { return stderr_; }

    // The child's id; it stays readable after the child was reaped. -1 before.
    pid_t pid() const { return pid_; }
    // Readable (POLLIN) once the child has ended; -1 after it was reaped.
    int pidFd() const { return pidFd_.get(); }
    bool Reaped() const { return reaped_; }

    // Whether the child runs, without reaping it; `status` gets its wait
    // status once it ended. kNone: never started, reaped, or unknown.
    Phase Poll(int* status = nullptr) const;
    // Reaps the child, waiting at most `ms` (< 0: without limit). The wait
    // status, -1 when the system knows the child no more, nullopt on time-out.
    std::optional<int> Wait(int ms = -1);
    // Sends `sig` to the child, and to its process group when it leads one.
    void Kill(int sig);
    // As Kill, and also to every descendant that left the group (found
    // through the parent ids in /proc).
    void KillTree(int sig);

  private:
    void Clear();

    pid_t pid_ = -1;
    bool reaped_ = false;
    bool ownSession_ = false;
    int status_ = -1;
    UniqueFd pidFd_;
    UniqueFd stdin_, stdout_, stderr_;
};

// The exit code of a wait status; 128 + the signal for a killed child.
unsigned ExitCodeOf(int waitStatus);

// Every process whose chain of parents leads to `root` (not root itself).
std::vector<pid_t> DescendantsOf(pid_t root);

}  // namespace platform
