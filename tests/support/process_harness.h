#pragma once
// Runs the built program as a separate process in a fresh home of its own.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace testsupport {

// A temporary folder removed with everything in it at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

  private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
std::vector<std::string> SplitLines(const std::string& text);  // drops "\r"
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit);
// Runs a command line through the shell: its exit status (-1 when it did not
// exit) and its output and errors in `output`.
int RunShell(const std::string& cmd, std::string& output);

class ProgramRun {
  public:
    // Environment with HOME and the XDG folders inside `home`.
    ProgramRun(std::string program, const std::string& home);
    ~ProgramRun();
    std::map<std::string, std::string> env;
    std::vector<std::string> args;  // after the program name
    bool Start();
    // Waits for the process to end; the exit status or -1 on time-out.
    int Wait(std::chrono::milliseconds limit);
    void Signal(int sig);
    pid_t pid() const { return child_.pid(); }
    bool Running();
    std::string Output() const;  // stdout and stderr

    std::string DataDir() const { return home_ + "/data/Clipvane"; }
    std::string LogPath() const { return DataDir() + "/vuzeziv.log"; }
    std::string HivePath() const { return home_ + "/config/Clipvane/registry.hive"; }

  private:
    std::string program_, home_, outPath_;
    platform::ChildProcess child_;
};

// Starts the program, waits for its main window, closes it with SIGTERM and
// returns the exit status (-1 when any step timed out).
int RunUntilShownAndClose(ProgramRun& run, int sig = 15 /* SIGTERM */);

std::string ProgramPath();  // the built program

}  // namespace testsupport
