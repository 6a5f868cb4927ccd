#include "ui/tasklist/task_item_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

#include "ui/bundle/elided_text.h"
#include "ui/tasklist/task_list_model.h"

namespace ui {

void TaskItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // A status is read in words: never cut one in half.
    if (index.column() != kColStatus || option->text.isEmpty()) return;
    const QWidget* w = option->widget;
    QStyle* style = w ? w->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
    option->text =
        ElideAtBreak(option->text, option->fontMetrics, option->rect.width() - 2 * margin);
}

void TaskItemDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QVariant v = index.data(kProgressRole);
    if (!v.isValid()) {
        QStyledItemDelegate::paint(p, option, index);
        return;
    }
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* w = option.widget;
    QStyle* style = w ? w->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, p, w);

    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.minimum = 0;
    bar.maximum = 1000;
    bar.progress = v.toInt();
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    style->drawControl(QStyle::CE_ProgressBar, &bar, p, w);
}

}  // namespace ui
