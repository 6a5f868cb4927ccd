#pragma once
// Runs one console program with its input and merged output on pipes; a
// reader thread hands what it prints to OnOutput in chunks of at most 255
// bytes. The command line is split by SplitCommandLine and executed directly.
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/unique_fd.h"

inline constexpr uint32_t kStillActive = 259;

class CConsoleRedirector {
  public:
    CConsoleRedirector();
    virtual ~CConsoleRedirector();
    CConsoleRedirector(const CConsoleRedirector&) = delete;
    CConsoleRedirector& operator=(const CConsoleRedirector&) = delete;

    bool Start(const std::wstring& commandLine);
    bool SendCommand(const wchar_t* fmt, ...);
    // Waits for the reader thread; ms < 0 waits without limit. True when it ended.
    bool WaitForReader(int ms);
    virtual void Stop();
    // Ends every process the started program started (its process group).
    void KillChildProcesses();

    // The program's exit code, kStillActive while it runs.
    uint32_t ChildExitCode();
    pid_t childProcessId() const { return child_.pid(); }
    int readerResult() const { return readerResult_; }
    uint32_t exitCode() const { return exitCode_; }
    bool readerRunning() const { return readerRunning_; }

    uint32_t pollTimeoutMs = 100;

  protected:
    virtual void OnOutput(const char* text) = 0;
    virtual void OnError(const char* text) = 0;
    // Guards the derived class's accumulated output.
    std::mutex lock_;

  private:
    // The steps of Start; each gives 0 or the errno of its failure.
    static std::vector<std::string> BuildArguments(const std::wstring& commandLine);
    int SpawnChild(const std::vector<std::string>& args);
    int MakeStopEvent();
    int StartReader();
    void FailStart(int err);

    void ReaderMain();
    void ReaderDone(int result);
    int Drain();

    std::thread reader_;
    std::mutex stopMutex_;
    std::mutex doneMutex_;
    std::condition_variable doneCv_;
    bool readerDone_ = true;
    platform::UniqueFd stopFd_;
    platform::ChildProcess child_;
    std::atomic<bool> readerRunning_{false};
    int readerResult_ = 0;
    platform::UniqueFd stdinWrite_;
    platform::UniqueFd stdoutRead_;
    std::atomic<uint32_t> exitCode_{0};
};
