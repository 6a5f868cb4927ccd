#pragma once
// Paints a task row's cells; a status cell with progress becomes a bar with
// the row's status (its percent, segment or resume point) written on it.
#include <QStyledItemDelegate>

namespace ui {

class TaskItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace ui
