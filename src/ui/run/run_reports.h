#pragma once
// Carries a download run's reports from the worker to the window's thread.
// Only the first report after the window went idle posts an event; while
// the window is awake (it looks again shortly after emptying the queue)
// reporting is a push under a lock. A progress report that follows one for
// the same row replaces it (unless it starts a resumed transfer), so a storm
// of them costs one handling per batch; nothing else is merged, dropped or
// reordered. The window handles at most
// SlicedDrain::kSliceMs of reports at a time, then lets paint and input events in.
#include <QObject>
#include <deque>
#include <mutex>

#include "download/run_observer.h"
#include "ui/run/sliced_drain.h"

namespace ui {

class RunReports : public QObject, public IRunObserver {
    Q_OBJECT
  public:
    // `handler` hears each report on this object's thread.
    explicit RunReports(IRunObserver* handler, QObject* parent = nullptr);
    ~RunReports() override;

    // Any thread.
    void OnStatus(int row, int code, const std::wstring& message) override;
    void OnProgress(int row, const RunProgress& progress) override;
    void OnTitle(int row, const std::wstring& title) override;
    void OnRetry(int row, int attempt) override;
    void OnItemDone(int row, const ItemReport& item) override;
    void OnRunEnded(bool stopped) override;
    // Reports after this go nowhere.
    void Detach();
    size_t Pending() const;
    // The oldest waiting report, bypassing the handler; false when none.
    bool Take(RunEvent& out);

    // This thread: holds the reports back until Release (a report whose
    // handling goes on elsewhere keeps the later ones behind it).
    void Hold() { ++holds_; }
    void Release();

  protected:
    bool event(QEvent* e) override;

  private:
    void Push(RunEvent e);
    void Drain();
    void Wake();
    bool GoIdle();

    IRunObserver* handler_;
    mutable std::mutex mutex_;
    std::deque<RunEvent> queue_;
    bool detached_ = false;
    bool wakePosted_ = false;
    // This thread only.
    int holds_ = 0;
    SlicedDrain drain_;
};

}  // namespace ui
