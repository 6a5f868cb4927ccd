#pragma once
// The intake of media files into the task list: each file is probed off
// this thread and its row is made or filled here, in the order the files
// came; the file of a finished download is also written to the history.
#include <QObject>
#include <deque>
#include <string>

#include "media/task.h"
#include "ui/bundle/question_thread.h"

class CHistoryDb;

namespace ui {

class TaskListModel;

class MediaIntake : public QObject {
    Q_OBJECT
  public:
    // `history` may be null.
    MediaIntake(TaskListModel* model, CHistoryDb* history, QObject* parent = nullptr);
    ~MediaIntake() override;

    // A file given by the user: a new row, or `row`'s Task when it is not
    // -1. `siteKind` below 0 means a local file; else the file is also
    // written to the history with `originAddress`. False when `row` names
    // no task.
    bool Add(const std::wstring& path, int row, int siteKind, const std::wstring& originAddress);
    // The file of a finished download, for its row's Task.
    void AddDownloaded(Task* task, const std::wstring& path, int siteKind,
                       const std::wstring& pageAddress, const std::wstring& servedBy);
    size_t Pending() const { return intakes_.size(); }
    // Lets the probes under way finish, the event loop running, for at most
    // `limitMs`; true when none is left.
    bool Settle(int limitMs);
    // The history's trouble, once a run: the status line and one box.
    void TellHistoryProblem();

  signals:
    // One for every file taken in, when its intake has finished.
    void finished(bool added);
    // The intake of a downloaded file has finished, added or not.
    void downloadSettled(Task* task);
    // The probe refused the file of a finished download.
    void notPlayable(Task* task);
    // A row was made or filled.
    void rowsChanged();
    void historyRecorded();
    void statusText(const std::wstring& text);

  private:
    struct Intake {
        std::wstring path;
        Task* task = nullptr;  // an existing row's Task, else null
        int siteKind = -2;
        std::wstring origin;
        bool download = false;
        std::wstring servedBy;  // for the row's tooltip
    };
    struct Probed {
        bool ok = false;
        Task task;
    };
    // Probes the file of `in`; its answer is taken in after those before.
    void Queue(Intake in);
    void OnProbed(Probed r);
    void FinishAll();
    bool Finish(const Intake& in, const Probed& r);

    TaskListModel* model_;
    CHistoryDb* history_;
    std::deque<Intake> intakes_;
    std::deque<Probed> probed_;
    bool finishing_ = false;
    // Last, so that it goes first: a probe under way is ended, not waited for.
    QuestionThread probes_{this, QuestionThread::Leaving::kCancel};
};

}  // namespace ui
