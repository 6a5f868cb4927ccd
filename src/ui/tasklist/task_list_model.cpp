#include "ui/tasklist/task_list_model.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>

#include "app/helpers.h"
#include "app/localization.h"
#include "download/codes.h"
#include "download/site_helpers.h"
#include "download/video_downloader.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/shown_text.h"

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
// A resumed transfer says so until it has gone this far past where it went on.
constexpr unsigned kResumeShownThousandths = 10;
}  // namespace

QString PercentText(int permille) {
    return QString::asprintf("%.1f%%", permille * 0.1);
}

TaskListModel::TaskListModel(QObject* parent) : QAbstractTableModel(parent) {
    Retranslate();
}

TaskListModel::~TaskListModel() = default;

int TaskListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TaskListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kTaskColumnCount;
}

const TaskListModel::Words& TaskListModel::W() const {
    if (!words_) {
        auto word = [](const wchar_t* w) { return ToQ(TranslateWord(w)); };
        words_ = Words{word(L"N/A"),
                       word(L"Online"),
                       word(L"Ready for download..."),
                       word(L"Waiting"),
                       LoadText(ids::str::kRetrying),
                       LoadText(ids::str::kRowSegment),
                       LoadText(ids::str::kRowResuming),
                       LoadText(ids::str::kRowDownloading)};
    }
    return *words_;
}

QString TaskListModel::ProgressLabel(const Row& r) const {
    const RunProgress& p = r.progress;
    if (p.resumedAt > 0 && p.thousandths < p.resumedAt + kResumeShownThousandths)
        return ToQ(platform::FormatW(W().resuming.c_str(), static_cast<int>(p.resumedAt / 10)));
    if (p.segmentsTotal)
        return ToQ(platform::FormatW(W().segment.c_str(), static_cast<int>(p.segmentsDone),
                                     static_cast<int>(p.segmentsTotal)));
    return ToQ(
        platform::FormatW(W().downloading.c_str(),
                          PercentText(static_cast<int>(p.thousandths)).toStdWString().c_str()));
}

QString TaskListModel::StatusText(const Row& r) const {
    if (r.hasProgress) return ProgressLabel(r);
    switch (r.status) {
        case RowStatus::kNone:
            return {};
        case RowStatus::kReady:
            return W().ready;
        case RowStatus::kWaiting:
            return W().waiting;
        case RowStatus::kCode:
            return ToQ(CVideoDownloader::GetStatusText(r.code));
        case RowStatus::kRetry:
            return ToQ(platform::FormatW(W().retry.c_str(), r.code));
    }
    return {};
}

QString TaskListModel::Text(const Row& r, int col) const {
    const Task* t = r.task.get();
    if (col == kColStatus) return StatusText(r);
    if (col == kColCheck || !t) return {};
    if (col == kColName) {
        if (!r.title.empty()) return ToQ(r.title);
        if (!r.address.empty() && !r.nameFromFile) return ToQ(r.address);
        return r.probed ? ToQ(FileTitle(t->source)) : QString();
    }
    // A range marked in the preview shows even before the file is known.
    if (col == kColDuration && (r.probed || t->cutEndMs > t->cutStartMs))
        return ToQ(FormatDuration(t->cutEndMs - t->cutStartMs));
    if (r.online) return col == kColFormat ? W().online : W().na;
    if (!r.probed) return {};
    switch (col) {
        case kColFormat:
            return ToQ(t->videoFormat);
        case kColSize:
            return QStringLiteral("%1x%2").arg(t->width).arg(t->height);
        case kColFps:
            return QString::asprintf("%.0f fps", t->fps);
        default:
            return {};
    }
}

QColor TaskListModel::Foreground(const Row& r, int col) const {
    if (col == kColCheck) return {};
    if (col == kColStatus) {
        if (r.status == RowStatus::kReady ||
            (r.status != RowStatus::kWaiting && r.status != RowStatus::kNone && r.errorColour))
            return kDarkRed;
        return {};
    }
    return r.online ? kDarkRed : QColor();
}

QString TaskListModel::Tooltip(const Row& r, int col) const {
    if (col == kColName && r.task && !r.task->source.empty())
        return ToQ(r.servedBy.empty() ? r.task->source : r.task->source + L"\n" + r.servedBy);
    // A long status may be cut short in a narrow column.
    if (col == kColStatus) return StatusText(r);
    return {};
}

QString TaskListModel::CellText(int row, int col) const {
    if (!Valid(row) || col < 0 || col >= kTaskColumnCount) return {};
    return Text(At(row), col);
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& r = At(index.row());
    const int col = index.column();
    switch (role) {
        case Qt::DisplayRole:
            // Addresses, names and server texts: nothing hidden or reordered.
            return ShownQ(Text(r, col));
        case Qt::CheckStateRole:
            if (col == kColCheck) return r.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::ForegroundRole: {
            const QColor c = Foreground(r, col);
            return c.isValid() ? QVariant(c) : QVariant();
        }
        case Qt::BackgroundRole:
            // Dark red text stands on the list's base colour.
            if (!Foreground(r, col).isValid()) return {};
            return markedBg_.isValid() ? markedBg_
                                       : QGuiApplication::palette().color(QPalette::Base);
        case Qt::ToolTipRole: {
            // The lines stay lines; within each nothing is hidden.
            QStringList lines = Tooltip(r, col).split(QLatin1Char('\n'));
            for (QString& l : lines) l = ShownQ(l);
            const QString tip = lines.join(QLatin1Char('\n'));
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        case Qt::TextAlignmentRole:
            return col == kColName ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignCenter);
        case kProgressRole:
            return col == kColStatus && r.hasProgress
                       ? QVariant(static_cast<int>(std::min(r.progress.thousandths, 1000u)))
                       : QVariant();
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

void TaskListModel::Retranslate() {
    titles_.clear();
    for (unsigned id : kTitleIds) titles_.push_back(id ? ToQ(LoadText(id)) : QString());
    words_.reset();
    emit headerDataChanged(Qt::Horizontal, 0, kTaskColumnCount - 1);
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kTaskColumnCount - 1));
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
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row);
    Row r;
    r.task = std::move(task);
    if (r.task && r.task->onlinePending) {
        r.online = true;
        r.checked = true;
        r.address = r.task->source;
        r.status = RowStatus::kReady;
    }
    Index(r, +1);
    rows_.push_back(std::move(r));
    endInsertRows();
    return row;
}

void TaskListModel::RemoveTaskAt(int row) {
    if (!Valid(row)) return;
    beginRemoveRows({}, row, row);
    Index(At(row), -1);
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
    return Valid(row) ? At(row).task.get() : nullptr;
}

int TaskListModel::RowOf(const Task* task) const {
    if (!task) return -1;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].task.get() == task) return static_cast<int>(i);
    return -1;
}

bool TaskListModel::IsChecked(int row) const {
    return Valid(row) && At(row).checked;
}

void TaskListModel::SetChecked(int row, bool checked) {
    if (!Valid(row)) return;
    Row& r = At(row);
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

void TaskListModel::MarkProbed(int row, bool nameFromFile, const std::wstring& servedBy) {
    if (!Valid(row)) return;
    Row& r = At(row);
    r.online = false;
    r.probed = true;
    r.nameFromFile = nameFromFile;
    if (nameFromFile) r.title.clear();
    r.servedBy = servedBy;
    Changed(row, kColName, kColStatus);
}

void TaskListModel::TaskChanged(int row) {
    if (Valid(row)) Changed(row, kColName, kColStatus);
}

void TaskListModel::SetTitle(int row, const std::wstring& title) {
    if (!Valid(row)) return;
    At(row).title = title;
    Changed(row, kColName, kColName);
}

void TaskListModel::SetStatus(int row, RowStatus status, int code) {
    if (!Valid(row)) return;
    Row& r = At(row);
    if (status == RowStatus::kCode)
        r.errorColour = code >= kStatusFirstError;
    else if (status != RowStatus::kRetry)
        r.errorColour = false;
    r.status = status;
    r.code = code;
    Changed(row, kColStatus, kColStatus);
}

RowStatus TaskListModel::Status(int row) const {
    return Valid(row) ? At(row).status : RowStatus::kNone;
}

int TaskListModel::StatusCode(int row) const {
    return Valid(row) ? At(row).code : 0;
}

void TaskListModel::SetProgress(int row, const RunProgress& progress) {
    if (!Valid(row)) return;
    Row& r = At(row);
    if (r.hasProgress && r.progress == progress) return;
    r.hasProgress = true;
    r.progress = progress;
    r.progress.thousandths = std::min(progress.thousandths, 1000u);
    Changed(row, kColStatus, kColStatus);
}

void TaskListModel::RemoveProgress(int row) {
    if (!Valid(row) || !At(row).hasProgress) return;
    At(row).hasProgress = false;
    Changed(row, kColStatus, kColStatus);
}

int TaskListModel::Progress(int row) const {
    if (!Valid(row) || !At(row).hasProgress) return -1;
    return static_cast<int>(At(row).progress.thousandths);
}

void TaskListModel::SetOnlinePending(int row, bool pending) {
    if (!Valid(row)) return;
    Row& r = At(row);
    if (!r.task || (r.task->onlinePending != 0) == pending) return;
    Index(r, -1);
    r.task->onlinePending = pending ? 1 : 0;
    Index(r, +1);
}

void TaskListModel::SetSource(int row, const std::wstring& source) {
    if (!Valid(row)) return;
    Row& r = At(row);
    if (!r.task) return;
    Index(r, -1);
    r.task->source = source;
    Index(r, +1);
    Changed(row, kColName, kColName);
}

bool TaskListModel::HasPendingAddress(const std::wstring& address) const {
    return pending_.count(AddressKey(address)) != 0;
}

void TaskListModel::Changed(int row, int firstCol, int lastCol) {
    emit dataChanged(index(row, firstCol), index(row, lastCol));
}

}  // namespace ui
