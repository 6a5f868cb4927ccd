#pragma once
// What the user does to the rows of the task list: download, tick, remove,
// show, preview or play them, and whether each may be done now.
#include <QObject>

class CPreviewPanel;

namespace ui {

class CommandActions;
class DownloadRun;
class IDesktopServices;
class TaskListModel;
class TaskListView;

class TaskListActions : public QObject {
    Q_OBJECT
  public:
    TaskListActions(TaskListModel* model, TaskListView* view, CPreviewPanel* preview,
                    DownloadRun* run, IDesktopServices* desktop, QObject* parent = nullptr);

    // Adds the commands on rows and on the run to `commands`.
    void AddTo(CommandActions& commands);
    // Enables each of them as the rows, the selection, the preview and the
    // run allow.
    void UpdateEnabled(const CommandActions& commands) const;

    // Removes a row with what its download kept for a resume.
    void RemoveRow(int row);
    // The one selected row's task in the preview.
    void PreviewSelected();
    // The preview marked a range on the selected row.
    void MarkChanged();

  signals:
    // What may run now has changed.
    void changed();

  private:
    bool Allowed(int command) const;
    void DownloadSelected();
    void CheckSelected(bool check);
    void RemoveSelected();
    void RemoveAll();
    void ShowInFolder();
    void SelectionChanged();
    void RowActivated(int row);

    TaskListModel* model_;
    TaskListView* view_;
    CPreviewPanel* preview_;
    DownloadRun* run_;
    IDesktopServices* desktop_;
};

}  // namespace ui
