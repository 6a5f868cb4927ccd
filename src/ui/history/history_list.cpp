#include "ui/history/history_list.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cwctype>
#include <set>

#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "download/url.h"
#include "history/history.h"
#include "resource_ids.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/menu_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/shown_text.h"
#include "ui/bundle/translate.h"
#include "ui/tasklist/task_list_view.h"

namespace ui {
namespace {

constexpr const char* kTag = "CHistoryList";

// Reads up to `max` digits; false when there is none.
bool Digits(const std::wstring& s, size_t& i, size_t max, int& v) {
    size_t start = i;
    v = 0;
    while (i < s.size() && i - start < max && s[i] >= L'0' && s[i] <= L'9')
        v = v * 10 + (s[i++] - L'0');
    return i > start;
}

void Blanks(const std::wstring& s, size_t& i) {
    while (i < s.size() && (s[i] == L' ' || s[i] == L'\t')) ++i;
}

int MonthOf(const std::wstring& word) {
    static const wchar_t* const kMonths[] = {L"january",   L"february", L"march",    L"april",
                                             L"may",       L"june",     L"july",     L"august",
                                             L"september", L"october",  L"november", L"december"};
    std::wstring w;
    for (wchar_t c : word) w += static_cast<wchar_t>(std::towlower(c));
    for (int m = 0; m < 12; ++m) {
        const std::wstring full = kMonths[m];
        if (w == full || (w.size() == 3 && full.compare(0, 3, w) == 0)) return m;
    }
    return -1;
}

}  // namespace

bool ParseHistoryDate(const std::wstring& text, std::time_t& out) {
    size_t i = 0;
    Blanks(text, i);
    size_t wordStart = i;
    while (i < text.size() && std::iswalpha(text[i])) ++i;
    const int month = MonthOf(text.substr(wordStart, i - wordStart));
    if (month < 0) return false;
    Blanks(text, i);
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, i, 2, day)) return false;
    if (i < text.size() && text[i] == L',') ++i;
    Blanks(text, i);
    size_t yearStart = i;
    if (!Digits(text, i, 4, year) || i - yearStart != 4) return false;
    Blanks(text, i);
    if (i < text.size()) {
        if (!Digits(text, i, 2, hour) || i >= text.size() || text[i++] != L':' ||
            !Digits(text, i, 2, minute))
            return false;
        if (i < text.size() && text[i] == L':' && !Digits(text, ++i, 2, second)) return false;
        Blanks(text, i);
        if (i != text.size()) return false;
    }
    if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::time_t t = mktime(&tm);
    // A day the month lacks (February 30) comes back normalised: refuse it.
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != day || tm.tm_mon != month) return false;
    out = t;
    return true;
}

QString HistoryRowName(const std::wstring& source) {
    // Shown as it stands (item views take "&" literally), controls made
    // visible.
    return ShownQ(FileTitle(source));
}

QString HistoryRowFolder(const std::wstring& source) {
    return ShownQ(FolderOf(source));
}

QString HistoryDateTime(std::time_t when) {
    std::tm tm{};
    if (!localtime_r(&when, &tm)) return {};
    char text[32];
    // Year first, 24-hour clock: read the same way in every language.
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm) == 0) return {};
    return QString::fromLatin1(text);
}

// ---- HistoryListModel ----

HistoryListModel::HistoryListModel(QObject* parent) : QAbstractTableModel(parent) {}

void HistoryListModel::Reset(std::vector<std::unique_ptr<Task>> tasks) {
    beginResetModel();
    tasks_ = std::move(tasks);
    endResetModel();
}

void HistoryListModel::Clear() {
    Reset({});
}

std::unique_ptr<Task> HistoryListModel::Take(int row) {
    if (row < 0 || row >= RowCount()) return nullptr;
    beginRemoveRows({}, row, row);
    std::unique_ptr<Task> t = std::move(tasks_[static_cast<size_t>(row)]);
    tasks_.erase(tasks_.begin() + row);
    endRemoveRows();
    return t;
}

Task* HistoryListModel::TaskAt(int row) const {
    return row >= 0 && row < RowCount() ? tasks_[static_cast<size_t>(row)].get() : nullptr;
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int HistoryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
    const Task* t = TaskAt(index.row());
    if (!t) return {};
    const int col = index.column();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (col <= kDuration ? Qt::AlignLeft : Qt::AlignHCenter));
    if (role == Qt::ToolTipRole) {
        // The page it came from and the folder the file is in.
        QStringList lines;
        if (col == kName && !t->historyPageAddress.empty()) lines << ShownQ(t->historyPageAddress);
        const QString folder = HistoryRowFolder(t->source);
        if (!folder.isEmpty()) lines << folder;
        return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
    }
    if (role != Qt::DisplayRole) return {};
    switch (col) {
        case kName:
            return HistoryRowName(t->source);
        case kDuration:
            return ToQ(FormatDuration(t->durationMs));
        case kFormat:
            return ShownQ(t->videoFormat).toUpper();
        case kSize:
            return ShownQ(t->historySizeText);
        case kDate: {
            std::time_t when = 0;
            if (!ParseHistoryDate(t->historyDateText, when)) return QString();
            return HistoryDateTime(when);
        }
        default:
            return {};
    }
}

QVariant HistoryListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal) return {};
    static const unsigned kTitles[] = {ids::str::kFileName, ids::str::kDuration, ids::str::kFormat,
                                       ids::str::kResolution, ids::str::kDate};
    if (role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
        return ToQ(LoadText(kTitles[section]));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (section <= kDuration ? Qt::AlignLeft : Qt::AlignHCenter));
    return {};
}

Qt::ItemFlags HistoryListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index) | Qt::ItemIsDropEnabled;
    return f;
}

Qt::DropActions HistoryListModel::supportedDropActions() const {
    return Qt::CopyAction;
}

void HistoryListModel::Retranslate() {
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
    if (!tasks_.empty()) emit dataChanged(index(0, 0), index(RowCount() - 1, kColumnCount - 1));
}

// ---- HistoryListView ----

HistoryListView::HistoryListView(CHistoryDb* history, QWidget* parent)
    : QTreeView(parent), history_(history), model_(new HistoryListModel(this)) {
    setProperty(kControlIdProperty, kId);
    setObjectName(QStringLiteral("historyList"));
    setModel(model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    FitColumns();
    // As in the task list: the focused, selected row is previewed; a
    // double-click or Enter plays it.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndex current = currentIndex();
        const bool one = current.isValid() && selectionModel()->isSelected(current);
        emit previewTask(one ? model_->TaskAt(current.row()) : nullptr);
    });
    connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& i) {
        if (Task* t = model_->TaskAt(i.row())) emit playTask(t);
    });
}

int HistoryListView::LoadSite(int itemValue) {
    const wchar_t* word = SiteWord(itemValue - 1000);
    return LoadProfile(word ? word : L"");
}

int HistoryListView::LoadProfile(const std::wstring& profile) {
    std::vector<std::unique_ptr<Task>> tasks;
    if (!profile.empty()) {
        LoadHistory(history_, profile.c_str(), tasks);
        // The preview marks the whole file.
        for (auto& t : tasks)
            if (t->cutEndMs == 0) t->cutEndMs = t->durationMs;
        LogInfoW(kTag, L"Loaded %d history rows of %ls.", static_cast<int>(tasks.size()),
                 profile.c_str());
    }
    model_->Reset(std::move(tasks));
    FitColumns();
    return model_->RowCount();
}

void HistoryListView::Clear() {
    model_->Clear();
}

void HistoryListView::FitColumns() {
    const int base = width() - 22;
    if (base <= 0) return;
    // The date column takes what is left: enough for a date and a time.
    static const int kPercent[] = {32, 12, 11, 14};
    int used = 0;
    for (int c = 0; c < 4; ++c) {
        const int w = base * kPercent[c] / 100;
        header()->resizeSection(c, w);
        used += w;
    }
    header()->resizeSection(HistoryListModel::kDate, std::max(0, base - used - 2));
}

void HistoryListView::Retranslate() {
    model_->Retranslate();
}

bool HistoryListView::event(QEvent* e) {
    if (e->type() == kLanguageChangedEvent) {
        Retranslate();
        return true;
    }
    return QTreeView::event(e);
}

void HistoryListView::resizeEvent(QResizeEvent* e) {
    QTreeView::resizeEvent(e);
    FitColumns();
}

std::vector<int> HistoryListView::SelectedRows() const {
    std::vector<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool HistoryListView::IsCommandEnabled(int id) const {
    const std::vector<int> rows = SelectedRows();
    const Task* one = rows.size() == 1 ? model_->TaskAt(rows[0]) : nullptr;
    switch (id) {
        case kShowInFolder: {
            if (!one || one->source.empty()) return false;
            QFile f(ToQ(one->source));
            return f.open(QIODevice::ReadOnly);
        }
        case kRemove:
            return !rows.empty();
        case kOpenSourcePage: {
            UrlParts parts;
            return one && CrackUrl(one->historyPageAddress, parts);
        }
        default:
            return false;
    }
}

bool HistoryListView::RunCommand(int id) {
    if (!IsCommandEnabled(id)) return false;
    const std::vector<int> rows = SelectedRows();
    switch (id) {
        case kShowInFolder:
            if (desktop_.showItem) desktop_.showItem(model_->TaskAt(rows[0])->source);
            return true;
        case kOpenSourcePage:
            if (desktop_.openUrl) desktop_.openUrl(model_->TaskAt(rows[0])->historyPageAddress);
            return true;
        case kRemove:
            RemoveSelected();
            return true;
        default:
            return false;
    }
}

void HistoryListView::RemoveSelected() {
    const std::vector<int> rows = SelectedRows();
    std::set<std::wstring> gone;
    // From the last row up, so the rows still to go keep their numbers.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        std::unique_ptr<Task> task = model_->Take(*it);
        if (!task) continue;
        emit taskRemoving(task.get());
        // The media file itself stays on disk.
        DeleteHistoryRow(history_, *task);
        gone.insert(task->source);
    }
    // The history forgets every row of a removed file (one downloaded twice
    // has two): the list shows no row the history no longer has.
    for (int row = model_->RowCount() - 1; row >= 0 && !gone.empty(); --row) {
        const Task* t = model_->TaskAt(row);
        if (!t || !gone.count(t->source)) continue;
        std::unique_ptr<Task> twin = model_->Take(row);
        emit taskRemoving(twin.get());
    }
    if (!rows.empty()) emit historyRemoved();
}

void HistoryListView::SetContextMenu(QMenu* menu) {
    menu_ = menu;
}

void HistoryListView::PrepareMenu(QMenu* menu) const {
    TranslateMenu(menu);
    for (QAction* a : menu->actions()) {
        const int id = ActionCommand(a);
        if (id == kShowInFolder || id == kRemove || id == kOpenSourcePage)
            a->setEnabled(IsCommandEnabled(id));
    }
}

void HistoryListView::contextMenuEvent(QContextMenuEvent* e) {
    if (!menu_) return;
    PrepareMenu(menu_);
    if (QAction* chosen = menu_->exec(e->globalPos())) RunCommand(ActionCommand(chosen));
}

void HistoryListView::dragEnterEvent(QDragEnterEvent* e) {
    AcceptCopyDrop(e);
}

void HistoryListView::dragMoveEvent(QDragMoveEvent* e) {
    AcceptCopyDrop(e);
}

void HistoryListView::dropEvent(QDropEvent* e) {
    if (!AcceptCopyDrop(e)) return;
    const QMimeData* m = e->mimeData();
    QStringList files;
    for (const QUrl& u : m->urls())
        if (u.isLocalFile() && !u.toLocalFile().isEmpty()) files << u.toLocalFile();
    // Files first: a file manager offers the paths as text too.
    if (!files.isEmpty())
        emit filesDropped(files);
    else if (m->hasText())
        emit textDropped(m->text());
}

}  // namespace ui
