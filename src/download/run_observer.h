#pragma once
// What a download run tells whoever watches it. The worker calls an
// observer on its own thread; each front end decides how the reports reach
// its thread (the window coalesces them, clipvane-get queues them).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

// What the worker knew of one item when it reported it finished.
struct ItemReport {
    std::wstring title, pageAddress, flvAddress, finalPath, lastError;
    std::wstring servedBy;  // which way found and fetched it, when not the usual one
    // The temporary file kept for a later resume of a failed or stopped
    // download (RemovePartialDownload removes it); empty when none.
    std::wstring partialPath;
    int siteKind = -1;
    bool operator==(const ItemReport&) const = default;
};

struct RunProgress {
    unsigned thousandths = 0;  // bytes received x 1000 / content length
    uint64_t received = 0, total = 0;
    // A segmented stream counts its segments (thousandths then by segment).
    uint64_t segmentsDone = 0, segmentsTotal = 0;
    // Thousandths a resumed transfer went on from; 0 when it began afresh.
    unsigned resumedAt = 0;
    bool operator==(const RunProgress&) const = default;
};

class IRunObserver {
  public:
    virtual ~IRunObserver() = default;
    // A status code of download/codes.h; `message` is the error text for
    // codes from kStatusFirstError on, empty otherwise.
    virtual void OnStatus(int row, int code, const std::wstring& message) = 0;
    virtual void OnProgress(int row, const RunProgress& progress) = 0;
    virtual void OnTitle(int row, const std::wstring& title) = 0;
    // `attempt` counts from 1 for the first retry.
    virtual void OnRetry(int row, int attempt) = 0;
    // The item's file is in place under its final name.
    virtual void OnItemDone(int row, const ItemReport& item) = 0;
    // The last report of a run.
    virtual void OnRunEnded(bool stopped) = 0;
};

// One report as a value, for observers that hand reports to another thread.
struct RunEvent {
    enum Kind { kStatus, kProgress, kTitle, kRetry, kItemDone, kRunEnded };
    Kind kind = kStatus;
    int row = -1;
    int code = 0;  // status code, retry attempt, or 1 for a stopped run
    RunProgress progress;
    std::wstring text;  // error message or title
    ItemReport item;
    bool operator==(const RunEvent&) const = default;

    static RunEvent Status(int row, int code, std::wstring message = {});
    static RunEvent Progress(int row, RunProgress p);
    static RunEvent Title(int row, std::wstring title);
    static RunEvent Retry(int row, int attempt);
    static RunEvent ItemDone(int row, ItemReport item);
    static RunEvent RunEnded(bool stopped);
};

// Calls the observer method the event stands for.
void Deliver(const RunEvent& e, IRunObserver& to);

// Keeps the reports in order until they are taken, waking a waiting taker.
class RunEventQueue : public IRunObserver {
  public:
    void OnStatus(int row, int code, const std::wstring& message) override;
    void OnProgress(int row, const RunProgress& progress) override;
    void OnTitle(int row, const std::wstring& title) override;
    void OnRetry(int row, int attempt) override;
    void OnItemDone(int row, const ItemReport& item) override;
    void OnRunEnded(bool stopped) override;

    // The oldest report, waiting up to `limit` for one to arrive.
    std::optional<RunEvent> Take(std::chrono::milliseconds limit);

  private:
    void Push(RunEvent e);
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<RunEvent> queue_;
};
