#pragma once
// Runs one console program with its input and merged output on pipes; a
// reader thread hands what it prints to OnOutput in chunks of at most 255
// bytes. The command line is split by SplitCommandLine and executed directly.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

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
    pid_t childProcessId() const { return childPid_; }
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
    void ReaderMain();
    int Drain();
    void CloseAll();

    std::thread reader_;
    std::mutex stopMutex_;
    std::mutex doneMutex_;
    bool readerDone_ = true;
    int stopFd_ = -1;
    int pidFd_ = -1;
    pid_t childPid_ = 0;
    bool reaped_ = false;
    std::atomic<bool> readerRunning_{false};
    int readerResult_ = 0;
    int stdinWrite_ = -1;
    int stdoutRead_ = -1;
    std::atomic<uint32_t> exitCode_{0};
};
