#pragma once
// The history list (control 1006): the downloads of one site, read from the
// history database, with show in folder (32774), remove from history (32776)
// and open source page (32857) and the list's context menu.
#include <QAbstractTableModel>
#include <QTreeView>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/task.h"
#include "resource_ids.h"

class CHistoryDb;
class QMenu;

namespace ui {

// The date of a history row ("December 07, 2008 14:05:09", English month
// names) as local time; false when the text is no such date.
bool ParseHistoryDate(const std::wstring& text, std::time_t& out);
// The name column: the file name without folder and extension.
QString HistoryRowName(const std::wstring& source);
// The folder of a history row's file, shown in its tooltip.
QString HistoryRowFolder(const std::wstring& source);
// A history row's date and time as the date column shows them.
QString HistoryDateTime(std::time_t when);

class HistoryListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kName, kDuration, kFormat, kSize, kDate, kColumnCount };
    explicit HistoryListModel(QObject* parent = nullptr);

    // Replaces every row (and its Task) by `tasks`.
    void Reset(std::vector<std::unique_ptr<Task>> tasks);
    void Clear();
    // Takes row `row` out of the list and hands its Task over.
    std::unique_ptr<Task> Take(int row);
    Task* TaskAt(int row) const;
    int RowCount() const { return static_cast<int>(tasks_.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    // Re-reads the column titles (language change).
    void Retranslate();

  private:
    std::vector<std::unique_ptr<Task>> tasks_;
};

// What the list asks of the desktop; null members do nothing.
struct HistoryDesktop {
    std::function<bool(const std::wstring& path)> showItem;  // file manager, file selected
    std::function<bool(const std::wstring& url)> openUrl;    // default browser
};

class HistoryListView : public QTreeView {
    Q_OBJECT
  public:
    static constexpr int kId = ids::ctl::main_window::kHistoryList;
    static constexpr int kShowInFolder = ids::cmd::kHistoryShowInFolder;
    static constexpr int kRemove = ids::cmd::kRemoveFromHistory;
    static constexpr int kOpenSourcePage = ids::cmd::kOpenSourcePage;

    // `history` may be null (no database: the lists stay empty).
    explicit HistoryListView(CHistoryDb* history, QWidget* parent = nullptr);

    HistoryListModel* Model() const { return model_; }
    // Fills the list with the history of site item value 1000..1003 (any
    // other value: an empty list). Returns the number of rows.
    int LoadSite(int itemValue);
    // Fills the list with the history of one profile (a site word or the
    // host of another site); empty: an empty list.
    int LoadProfile(const std::wstring& profile);
    void Clear();
    // Column widths from the list's width (Relayout).
    void FitColumns();
    // Column titles in the current language (message 5031).
    void Retranslate();

    void SetDesktop(HistoryDesktop desktop) { desktop_ = std::move(desktop); }
    // The menu of a right click (the second drop-down of menu 184); its
    // items carry their command as the property "commandId". The view
    // translates it, enables its items and runs the chosen one.
    void SetContextMenu(QMenu* menu);
    QMenu* ContextMenu() const { return menu_; }

    std::vector<int> SelectedRows() const;
    bool IsCommandEnabled(int id) const;
    // Runs 32774, 32776 or 32857 when enabled; false otherwise.
    bool RunCommand(int id);
    // Prepares the menu's items as they are before it opens.
    void PrepareMenu(QMenu* menu) const;

  signals:
    // The focused row became the one selected row (its Task), or none is.
    void previewTask(Task* task);
    // A row was double-clicked or Enter pressed on it: play its Task.
    void playTask(Task* task);
    // A Task is about to be deleted: whoever shows it lets go of it.
    void taskRemoving(const Task* task);
    // Rows were removed from the history database: the site panel recounts.
    void historyRemoved();
    // Files dropped on the list: each becomes a media task of the task list.
    void filesDropped(const QStringList& paths);
    // Text dropped on the list: one address for the task list.
    void textDropped(const QString& text);

  protected:
    bool event(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

  private:
    void RemoveSelected();

    CHistoryDb* history_;
    HistoryListModel* model_;
    HistoryDesktop desktop_;
    QMenu* menu_ = nullptr;
};

}  // namespace ui
