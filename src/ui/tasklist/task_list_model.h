#pragma once
// The task list: the registry of Tasks and the cells shown for them. Row n
// is registry position n; a Task enters and leaves together with its row.
#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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

    // Appends the Task to the registry and its empty, unchecked row.
    int AppendTask(std::unique_ptr<Task> task);
    // The same with the row's cells filled, all in one colour.
    struct RowCells {
        bool checked = false;
        std::array<QString, kTaskColumnCount> texts;
        QColor fg, bg;
        QString tooltip;
    };
    int AppendTask(std::unique_ptr<Task> task, const RowCells& cells);
    void RemoveTaskAt(int row);
    void RemoveAll();

    Task* TaskAt(int row) const;
    // Row of a Task of the registry, -1 when it is not there.
    int RowOf(const Task* task) const;

    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);

    QString CellText(int row, int col) const;
    QColor CellColor(int row, int col) const;
    QColor CellBackground(int row, int col) const;
    // Invalid colours mean the list's own.
    void SetCell(int row, int col, const QString& text, const QColor& fg = {},
                 const QColor& bg = {});
    void SetTooltip(int row, const QString& text);
    QString Tooltip(int row) const;

    // -1: no progress bar.
    int Progress(int row) const;
    void SetProgress(int row, int permille);
    void RemoveProgress(int row);

    // Changes of the Task fields the model indexes.
    void SetOnlinePending(int row, bool pending);
    void SetSource(int row, const std::wstring& source);

    // A pending online Task with exactly this source exists.
    bool HasPendingAddress(const std::wstring& address) const;
    // Checked rows whose Task is online and pending.
    int CheckedPendingCount() const { return checkedPending_; }
    int PendingCount() const { return pendingTotal_; }

    // Re-reads the column titles (language change).
    void RetranslateHeaders();

  signals:
    // The user ticked or cleared a row's check box.
    void checkToggled(int row);

  private:
    struct Cell {
        QString text;
        QColor fg, bg;
    };
    struct Row {
        std::unique_ptr<Task> task;
        bool checked = false;
        int progress = -1;
        QString tooltip;
        std::array<Cell, kTaskColumnCount> cells;
    };
    bool Valid(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }
    void Index(const Row& r, int delta);
    void Changed(int row, int firstCol, int lastCol);

    std::vector<Row> rows_;
    std::unordered_map<std::wstring, int> pending_;  // AddressKey(source) -> pending Tasks
    int pendingTotal_ = 0;
    int checkedPending_ = 0;
    QStringList titles_;
};

}  // namespace ui
