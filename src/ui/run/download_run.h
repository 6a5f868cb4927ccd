#pragma once
// A download run of the task list: the one worker, the rows it was started
// with, and the worker's reports turned into the rows' state. The reports
// reach this thread through RunReports; what the window does about a run
// (its commands, the status line, the desktop) it hears by signals.
#include <QObject>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "download/run_observer.h"

class CVideoDownloader;
struct Task;

namespace ui {

class MediaIntake;
class RunReports;
class TaskListModel;

class DownloadRun : public QObject, public IRunObserver {
    Q_OBJECT
  public:
    DownloadRun(TaskListModel* model, MediaIntake* intake, QObject* parent = nullptr);
    ~DownloadRun() override;

    // Makes the worker; until then nothing can start.
    void CreateWorker();
    CVideoDownloader* Downloader() const { return downloader_.get(); }
    bool Downloading() const { return downloading_; }
    bool DownloadAllMode() const { return allMode_; }

    // Downloads every ticked row still to be downloaded, in row order.
    void DownloadAll();
    // Downloads one row still to be downloaded.
    void DownloadRow(int row);
    // The rows a run covers, for the share done and the counts at its end
    // (Start records them; the worker's reports may come from elsewhere).
    void StartRecord(std::vector<int> rows);
    // A row added during a run of all rows joins it.
    void RowAdded(int row);
    void Stop();
    // Asks first ("stop them?"); the run goes on while the question is open.
    void StopWithQuestion();
    // For quitting: stops the worker and takes in what it finished before
    // it stopped, for at most `limitMs`. No end-of-run signal follows.
    void StopAndSettle(int limitMs);

    // The worker's reports, on this thread.
    void OnStatus(int row, int code, const std::wstring& message) override;
    void OnProgress(int row, const RunProgress& progress) override;
    void OnTitle(int row, const std::wstring& title) override;
    void OnRetry(int row, int attempt) override;
    void OnItemDone(int row, const ItemReport& item) override;
    void OnRunEnded(bool stopped) override;

  signals:
    // The worker's settings are to be taken now (the window takes a typed
    // folder first).
    void aboutToStart();
    // Running or not, or a row left the rows to download.
    void stateChanged();
    void statusText(const std::wstring& text);
    // The share of the run done, 0 to 1; -1 when no run is going.
    void progressed(double fraction);
    // An item is over: the preview may show the selected row again.
    void itemSettled();
    // The run went through to its end (not stopped).
    void finished(int done, int failed, const std::wstring& lastFile);

  private:
    void Start(std::vector<int> rows, bool all);
    void Settled(Task* task);
    // A row's download has ended and its file, if any, is taken in.
    void RowDone(int row);

    TaskListModel* model_;
    MediaIntake* intake_;
    RunReports* reports_;
    std::unique_ptr<CVideoDownloader> downloader_;
    bool downloading_ = false;
    bool allMode_ = false;
    bool quitting_ = false;
    std::wstring progressFormat_;  // read once per run
    std::vector<int> rows_;
    size_t index_ = 0;
    int done_ = 0;
    std::wstring lastFile_;
    std::set<const Task*> notPlayable_;  // downloaded, but the probe refused the file
};

}  // namespace ui
