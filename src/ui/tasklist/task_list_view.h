#pragma once
// The view of the task list: a check box in the header of column 0 that
// ticks every row, the rows painted by TaskItemDelegate, and column widths
// as shares of the list's width.
#include <QHeaderView>
#include <QTableView>

class QDropEvent;

namespace ui {

class CheckHeaderView : public QHeaderView {
    Q_OBJECT
  public:
    explicit CheckHeaderView(QWidget* parent = nullptr);
    bool IsChecked() const { return checked_; }
    // Toggles the header's mark as a click on it does.
    void Toggle();

  signals:
    void checkToggled(bool checked);

  protected:
    void paintSection(QPainter* p, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    bool checked_ = false;
};

class TaskListView : public QTableView {
    Q_OBJECT
  public:
    explicit TaskListView(QWidget* parent = nullptr);
    CheckHeaderView* CheckHeader() const { return header_; }
    // Widths as shares of the width less 22 pixels; the last takes the rest
    // less 2.
    void ApplyColumnWidths();
    QList<int> SelectedRows() const;

  signals:
    // A drag of text or files entered; the window decides.
    void dropped(const QMimeData* data);

  protected:
    // A language change reaches the rows at once: the model says them anew.
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

  private:
    CheckHeaderView* header_;
};

// True when a drag offers text or a list of files.
bool AcceptsDrop(const QMimeData* data);
// Takes a drag or drop event as a copy when AcceptsDrop says so, else
// ignores it; true when taken. Both lists use it.
bool AcceptCopyDrop(QDropEvent* e);

}  // namespace ui
