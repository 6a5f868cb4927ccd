#include "ui/tasklist/task_list_model.h"

#include "app/localization.h"
#include "download/site_helpers.h"
#include "resource_ids.h"
#include "ui/bundle/qt_text.h"
#include "ui/shell/shown_text.h"

namespace ui {
namespace {
// Column titles by string number; column 0 has none.
constexpr unsigned kTitleIds[kTaskColumnCount] = {0,
                                                  ids::str::kName,
                                                  ids::str::kDuration,
                                                  ids::str::kFormat,
                                                  ids::str::kResolution,
                                                  ids::str::kFPS,
                                                  ids::str::kStatus};
}  // namespace

TaskListModel::TaskListModel(QObject* parent) : QAbstractTableModel(parent) {
    RetranslateHeaders();
}

TaskListModel::~TaskListModel() = default;

int TaskListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TaskListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kTaskColumnCount;
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Valid(index.row())) return {};
    const Row& r = rows_[static_cast<size_t>(index.row())];
    const int col = index.column();
    const Cell& c = r.cells[static_cast<size_t>(col)];
    switch (role) {
        case Qt::DisplayRole:
            // Addresses, names and server texts: nothing hidden or reordered.
            return ShownQ(c.text);
        case Qt::CheckStateRole:
            if (col == kColCheck) return r.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::ForegroundRole:
            return c.fg.isValid() ? QVariant(c.fg) : QVariant();
        case Qt::BackgroundRole:
            return c.bg.isValid() ? QVariant(c.bg) : QVariant();
        case Qt::ToolTipRole:
            if (col == kColName && !r.tooltip.isEmpty()) return ShownQ(r.tooltip);
            // A long status may be cut short in a narrow column.
            if (col == kColStatus && !c.text.isEmpty()) return ShownQ(c.text);
            return {};
        case Qt::TextAlignmentRole:
            return col == kColName ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignCenter);
        case kProgressRole:
            return col == kColStatus && r.progress >= 0 ? QVariant(r.progress) : QVariant();
        default:
            return {};
    }
}

bool TaskListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kColCheck || role != Qt::CheckStateRole ||
        !Valid(index.row()))
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    emit checkToggled(index.row());
    return true;
}

Qt::ItemFlags TaskListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kColCheck) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TaskListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section >= titles_.size()) return {};
    if (role == Qt::DisplayRole) return titles_[section];
    if (role == Qt::TextAlignmentRole)
        return section == kColName ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignCenter);
    return {};
}

void TaskListModel::RetranslateHeaders() {
    titles_.clear();
    for (unsigned id : kTitleIds) titles_.push_back(id ? ToQ(LoadText(id)) : QString());
    emit headerDataChanged(Qt::Horizontal, 0, kTaskColumnCount - 1);
}

void TaskListModel::Index(const Row& r, int delta) {
    if (!r.task || !r.task->onlinePending) return;
    pendingTotal_ += delta;
    if (r.checked) checkedPending_ += delta;
    const std::wstring key = AddressKey(r.task->source);
    auto it = pending_.find(key);
    if (delta > 0) {
        if (it == pending_.end())
            pending_.emplace(key, 1);
        else
            ++it->second;
    } else if (it != pending_.end() && --it->second <= 0) {
        pending_.erase(it);
    }
}

int TaskListModel::AppendTask(std::unique_ptr<Task> task) {
    return AppendTask(std::move(task), RowCells{});
}

int TaskListModel::AppendTask(std::unique_ptr<Task> task, const RowCells& cells) {
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row);
    Row r;
    r.task = std::move(task);
    r.checked = cells.checked;
    r.tooltip = cells.tooltip;
    for (size_t c = 0; c < r.cells.size(); ++c) {
        if (c == kColCheck || (cells.texts[c].isEmpty() && !cells.fg.isValid())) continue;
        r.cells[c] = {cells.texts[c], cells.fg, cells.bg};
    }
    Index(r, +1);
    rows_.push_back(std::move(r));
    endInsertRows();
    return row;
}

void TaskListModel::RemoveTaskAt(int row) {
    if (!Valid(row)) return;
    beginRemoveRows({}, row, row);
    Index(rows_[static_cast<size_t>(row)], -1);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void TaskListModel::RemoveAll() {
    beginResetModel();
    rows_.clear();
    pending_.clear();
    pendingTotal_ = checkedPending_ = 0;
    endResetModel();
}

Task* TaskListModel::TaskAt(int row) const {
    return Valid(row) ? rows_[static_cast<size_t>(row)].task.get() : nullptr;
}

int TaskListModel::RowOf(const Task* task) const {
    if (!task) return -1;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].task.get() == task) return static_cast<int>(i);
    return -1;
}

bool TaskListModel::IsChecked(int row) const {
    return Valid(row) && rows_[static_cast<size_t>(row)].checked;
}

void TaskListModel::SetChecked(int row, bool checked) {
    if (!Valid(row)) return;
    Row& r = rows_[static_cast<size_t>(row)];
    if (r.checked == checked) return;
    if (r.task && r.task->onlinePending) checkedPending_ += checked ? 1 : -1;
    r.checked = checked;
    Changed(row, kColCheck, kColCheck);
}

void TaskListModel::SetAllChecked(bool checked) {
    if (rows_.empty()) return;
    for (Row& r : rows_) r.checked = checked;
    checkedPending_ = checked ? pendingTotal_ : 0;
    emit dataChanged(index(0, kColCheck), index(rowCount() - 1, kColCheck), {Qt::CheckStateRole});
}

QString TaskListModel::CellText(int row, int col) const {
    if (!Valid(row) || col < 0 || col >= kTaskColumnCount) return {};
    return rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(col)].text;
}

QColor TaskListModel::CellColor(int row, int col) const {
    if (!Valid(row) || col < 0 || col >= kTaskColumnCount) return {};
    return rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(col)].fg;
}

QColor TaskListModel::CellBackground(int row, int col) const {
    if (!Valid(row) || col < 0 || col >= kTaskColumnCount) return {};
    return rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(col)].bg;
}

void TaskListModel::SetCell(int row, int col, const QString& text, const QColor& fg,
                            const QColor& bg) {
    if (!Valid(row) || col < 0 || col >= kTaskColumnCount) return;
    Cell& c = rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(col)];
    c.text = text;
    c.fg = fg;
    c.bg = bg;
    Changed(row, col, col);
}

void TaskListModel::SetTooltip(int row, const QString& text) {
    if (!Valid(row)) return;
    rows_[static_cast<size_t>(row)].tooltip = text;
}

QString TaskListModel::Tooltip(int row) const {
    return Valid(row) ? rows_[static_cast<size_t>(row)].tooltip : QString();
}

int TaskListModel::Progress(int row) const {
    return Valid(row) ? rows_[static_cast<size_t>(row)].progress : -1;
}

void TaskListModel::SetProgress(int row, int permille) {
    if (!Valid(row)) return;
    Row& r = rows_[static_cast<size_t>(row)];
    permille = std::clamp(permille, 0, 1000);
    if (r.progress == permille) return;
    r.progress = permille;
    Changed(row, kColStatus, kColStatus);
}

void TaskListModel::RemoveProgress(int row) {
    if (!Valid(row) || rows_[static_cast<size_t>(row)].progress < 0) return;
    rows_[static_cast<size_t>(row)].progress = -1;
    Changed(row, kColStatus, kColStatus);
}

void TaskListModel::SetOnlinePending(int row, bool pending) {
    if (!Valid(row)) return;
    Row& r = rows_[static_cast<size_t>(row)];
    if (!r.task || (r.task->onlinePending != 0) == pending) return;
    Index(r, -1);
    r.task->onlinePending = pending ? 1 : 0;
    Index(r, +1);
}

void TaskListModel::SetSource(int row, const std::wstring& source) {
    if (!Valid(row)) return;
    Row& r = rows_[static_cast<size_t>(row)];
    if (!r.task) return;
    Index(r, -1);
    r.task->source = source;
    Index(r, +1);
}

bool TaskListModel::HasPendingAddress(const std::wstring& address) const {
    return pending_.count(AddressKey(address)) != 0;
}

void TaskListModel::Changed(int row, int firstCol, int lastCol) {
    emit dataChanged(index(row, firstCol), index(row, lastCol));
}

}  // namespace ui
