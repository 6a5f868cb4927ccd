#include "ui/tasklist/task_list_view.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionButton>

#include "ui/bundle/language_menu.h"
#include "ui/tasklist/task_item_delegate.h"
#include "ui/tasklist/task_list_model.h"

namespace ui {

CheckHeaderView::CheckHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
}

void CheckHeaderView::paintSection(QPainter* p, const QRect& rect, int logicalIndex) const {
    p->save();
    QHeaderView::paintSection(p, rect, logicalIndex);
    p->restore();
    if (logicalIndex != kColCheck) return;
    QStyleOptionButton box;
    const int side = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    box.rect = QRect(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2,
                     side, side);
    box.state = QStyle::State_Enabled | (checked_ ? QStyle::State_On : QStyle::State_Off);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, p, this);
}

void CheckHeaderView::Toggle() {
    checked_ = !checked_;
    viewport()->update();
    emit checkToggled(checked_);
}

void CheckHeaderView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && logicalIndexAt(e->position().toPoint()) == kColCheck) {
        Toggle();
        return;
    }
    QHeaderView::mousePressEvent(e);
}

TaskListView::TaskListView(QWidget* parent) : QTableView(parent) {
    header_ = new CheckHeaderView(this);
    setHorizontalHeader(header_);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->setStretchLastSection(false);
    // The widths are shares of the list; a style's larger minimum would push
    // the sum past the list and show a needless scroll bar.
    header_->setMinimumSectionSize(8);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setShowGrid(false);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new TaskItemDelegate(this));
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void TaskListView::ApplyColumnWidths() {
    static constexpr double kShares[] = {0.055, 0.25, 0.15, 0.10, 0.15, 0.10};
    const int total = viewport()->width();
    const int base = std::max(0, total - 22);
    int used = 0;
    for (int c = 0; c < kColStatus; ++c) {
        int w = static_cast<int>(base * kShares[c]);
        setColumnWidth(c, w);
        used += w;
    }
    setColumnWidth(kColStatus, std::max(20, total - used - 2));
}

QList<int> TaskListView::SelectedRows() const {
    QList<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool TaskListView::event(QEvent* e) {
    if (e->type() == kLanguageChangedEvent) {
        if (auto* m = qobject_cast<TaskListModel*>(model())) m->Retranslate();
    }
    return QTableView::event(e);
}

void TaskListView::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    ApplyColumnWidths();
}

bool AcceptsDrop(const QMimeData* data) {
    return data && (data->hasText() || data->hasUrls());
}

bool AcceptCopyDrop(QDropEvent* e) {
    if (!AcceptsDrop(e->mimeData())) {
        e->ignore();
        return false;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    return true;
}

void TaskListView::dragEnterEvent(QDragEnterEvent* e) {
    AcceptCopyDrop(e);
}

void TaskListView::dragMoveEvent(QDragMoveEvent* e) {
    AcceptCopyDrop(e);
}

void TaskListView::dropEvent(QDropEvent* e) {
    if (AcceptCopyDrop(e)) emit dropped(e->mimeData());
}

}  // namespace ui
