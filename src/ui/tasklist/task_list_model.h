#pragma once
// The task list: the registry of Tasks and what each row is doing. Row n is
// registry position n; a Task enters and leaves together with its row. A row
// keeps its state (status, progress, title, where it was found) and every
// cell's text, colour and tooltip is derived from it when asked, so a
// language switch reaches rows that are already there.
#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "download/run_observer.h"
#include "media/task.h"

namespace ui {

enum TaskColumn : int {
    kColCheck = 0,
    kColName,
    kColDuration,
    kColFormat,
    kColSize,
    kColFps,
    kColStatus,
    kTaskColumnCount
};

// Per-mille value of the progress bar of a cell; absent when it has none.
inline constexpr int kProgressRole = Qt::UserRole + 1;
// Text colour of a new online row, and of an error in the status cell.
inline const QColor kDarkRed(192, 0, 0);

// "48.3%" for 483 thousandths.
QString PercentText(int permille);

// What the status cell says.
enum class RowStatus {
    kNone,     // nothing
    kReady,    // an address waiting for a download
    kWaiting,  // ticked during a run: its turn comes
    kCode,     // a status code of the run (download/codes.h)
    kRetry,    // the run tries again; the number counts the attempts
};

class TaskListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit TaskListModel(QObject* parent = nullptr);
    ~TaskListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Appends the Task and its row. A Task still to be downloaded makes a
    // ticked address row ("Ready for download..."); any other an unticked
    // row that shows its cells once MarkProbed says the file is known.
    int AppendTask(std::unique_ptr<Task> task);
    void RemoveTaskAt(int row);
    void RemoveAll();

    Task* TaskAt(int row) const;
    // Row of a Task of the registry, -1 when it is not there.
    int RowOf(const Task* task) const;

    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);

    // The Task now holds a probed file. The name stays the title, or the
    // address when none came, unless `nameFromFile`: then the file's name.
    // `servedBy` says which way found it, for the name's tooltip.
    void MarkProbed(int row, bool nameFromFile, const std::wstring& servedBy = {});
    // The Task's own values changed (a marked range): its cells again.
    void TaskChanged(int row);
    void SetTitle(int row, const std::wstring& title);
    void SetStatus(int row, RowStatus status, int code = 0);
    RowStatus Status(int row) const;
    int StatusCode(int row) const;
    // The run's progress: the status cell shows a bar and says what is
    // happening; RemoveProgress ends the bar.
    void SetProgress(int row, const RunProgress& progress);
    void RemoveProgress(int row);
    // -1: no progress bar.
    int Progress(int row) const;

    // The text shown, as data() gives it but with nothing replaced.
    QString CellText(int row, int col) const;
    // Background of the cells drawn in dark red (the list's base colour).
    void SetMarkedBackground(const QColor& bg) { markedBg_ = bg; }

    // Changes of the Task fields the model indexes.
    void SetOnlinePending(int row, bool pending);
    void SetSource(int row, const std::wstring& source);

    // A pending online Task with exactly this source exists.
    bool HasPendingAddress(const std::wstring& address) const;
    // Checked rows whose Task is online and pending.
    int CheckedPendingCount() const { return checkedPending_; }
    int PendingCount() const { return pendingTotal_; }

    // The language changed: titles and every row's texts again.
    void Retranslate();

  signals:
    // The user ticked or cleared a row's check box.
    void checkToggled(int row);

  private:
    struct Row {
        std::unique_ptr<Task> task;
        bool checked = false;
        bool online = false;  // added as an address and not yet probed
        bool probed = false;
        bool nameFromFile = false;
        std::wstring address;  // as it was added, the name until a title comes
        std::wstring title;
        std::wstring servedBy;
        RowStatus status = RowStatus::kNone;
        int code = 0;
        bool errorColour = false;  // the last status code was an error
        bool hasProgress = false;
        RunProgress progress;
    };
    // Words every row shows, looked up once per language.
    struct Words {
        QString na, online, ready, waiting;
        std::wstring retry, segment, resuming, downloading;
    };
    bool Valid(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }
    const Row& At(int row) const { return rows_[static_cast<size_t>(row)]; }
    Row& At(int row) { return rows_[static_cast<size_t>(row)]; }
    void Index(const Row& r, int delta);
    void Changed(int row, int firstCol, int lastCol);
    const Words& W() const;
    QString Text(const Row& r, int col) const;
    QString StatusText(const Row& r) const;
    QString ProgressLabel(const Row& r) const;
    QColor Foreground(const Row& r, int col) const;
    QString Tooltip(const Row& r, int col) const;

    std::vector<Row> rows_;
    std::unordered_map<std::wstring, int> pending_;  // AddressKey(source) -> pending Tasks
    int pendingTotal_ = 0;
    int checkedPending_ = 0;
    QStringList titles_;
    QColor markedBg_;
    mutable std::optional<Words> words_;
};

}  // namespace ui
