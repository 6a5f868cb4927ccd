#pragma once
// The main window: composes the task list, the download run, the intake of
// media files, the site panel and the preview, and runs the commands of its
// menus, toolbar and keys.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/task.h"
#include "resource_ids.h"

class CHistoryDb;
class CPreviewPanel;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPushButton;
class QTreeWidget;

namespace platform {
class IPostTarget;
}

namespace ui {
class BitmapButtonBar;
class SitePanel;
class TipsPanel;
class WindowShell;
class TaskListModel;
class TaskListView;
class WindowPostTarget;
class SlicedDrain;
class DownloadRun;
class MediaIntake;
class AddressIntake;
class TaskListActions;
class OutputFolderField;
class CommandActions;
class IDesktopServices;
class DesktopIntegration;
class HistoryListView;
class WindowKeys;
class WindowChrome;
class WindowLayout;
}  // namespace ui

class CClipvaneDlg : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kMainWindow;
    static constexpr int kIconId = 1009;
    static constexpr int kTaskListId = ids::ctl::main_window::kTaskList;
    static constexpr int kHistoryListId = ids::ctl::main_window::kHistoryList;
    static constexpr int kOutputFolderId = ids::ctl::main_window::kOutputFolder;
    static constexpr int kToolbarId = ids::ctl::main_window::kToolbar;
    static constexpr int kMenuButtonId = ids::ctl::main_window::kMenuButton;
    static constexpr int kCaptionBarId = ids::ctl::main_window::kCaptionBar;
    static constexpr int kShowPanelButtonId = ids::ctl::main_window::kShowPanelButton;
    static constexpr int kSitePanelId = ids::ctl::main_window::kSitePanel;
    static constexpr int kTipsPanelId = ids::ctl::main_window::kTipsPanel;

    // `history` may be null (no history); `desktop` null means the real
    // desktop and machine.
    explicit CClipvaneDlg(CHistoryDb* history = nullptr, ui::IDesktopServices* desktop = nullptr,
                          QWidget* parent = nullptr);
    ~CClipvaneDlg() override;

    // Operations other parts of the window call.
    // Sets every command's enabled state, and the toolbar's, from the
    // window's state: the one place that decides what may run now.
    void UpdateCommands();
    void SetStatusText();
    void SetStatusText(const std::wstring& text);
    // Keeps the rows not yet downloaded in `file` at close and adds them
    // again at the next start.
    void KeepPendingRows(const std::wstring& file);

    // Runs command `id` as its menu item or key would: nothing when it is
    // disabled or unknown.
    void OnCommand(int id);
    bool IsCommandEnabled(int id);
    // A numbered message, as it arrives from the posting target.
    void HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam);
    // The context menu of the task list at a global position.
    void ShowTaskListMenu(const QPoint& globalPos);

  signals:
    // The window has closed; the program goes on to end.
    void closed();
    // One for every media file taken in, when its intake has finished.
    void intakeFinished(bool added);
    // Message 5030 reached the site panel.
    void historyChanged();

  public slots:
    // Closing for a termination signal: no question; the worker is stopped
    // when the window goes.
    void CloseWithoutAsking();

  protected:
    bool event(QEvent* e) override;
    // The close request: asks during a run, saves the settings, ends.
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    void OnInitDialog();
    void CreateChildren();
    void CreateCommands();
    void CreateMenus();
    void OpenMainMenu();
    void LayOut();
    void CreateRun();
    void OnDeferredStart();

    void OnRunFinished(int done, int failed, const std::wstring& lastFile);
    bool CommandAllowed(int id) const;
    void OnPreviewExpanded(bool expanded);

    void AddAddressesDialog();
    void ImportDialog();
    void OpenOutputFolder();
    void ShowAbout();
    void ShowSettings();
    void ShowHelp();
    void SetLanguage(const wchar_t* code);
    void ShowSitePanel(int mode);
    void ShowTaskList();
    void ShowHistory(int itemValue);
    void ShutdownWindows();
    // Stops the run, keeping what it finished, and saves what the next start needs.
    void SaveAndStop();
    int Box(const std::wstring& text, unsigned flags);

    CHistoryDb* history_;
    std::unique_ptr<ui::IDesktopServices> ownDesktop_;
    ui::IDesktopServices* desktop_;
    std::unique_ptr<ui::WindowPostTarget> post_;
    std::unique_ptr<ui::SlicedDrain> messages_;
    ui::MediaIntake* intake_ = nullptr;
    ui::DownloadRun* run_ = nullptr;
    ui::AddressIntake* addresses_ = nullptr;
    ui::TaskListActions* rows_ = nullptr;

    ui::TaskListModel* model_ = nullptr;
    ui::TaskListView* view_ = nullptr;
    ui::HistoryListView* historyList_ = nullptr;
    CPreviewPanel* preview_ = nullptr;
    ui::SitePanel* sitePanel_ = nullptr;
    ui::TipsPanel* tips_ = nullptr;
    ui::WindowShell* shell_ = nullptr;
    ui::WindowChrome* chrome_ = nullptr;
    std::unique_ptr<ui::WindowLayout> layout_;
    ui::OutputFolderField* outputFolder_ = nullptr;
    QMenu* mainMenu_ = nullptr;
    QMenu* taskListMenu_ = nullptr;
    ui::CommandActions* commands_ = nullptr;
    ui::WindowKeys* keys_ = nullptr;

    bool shownOnce_ = false;
    bool closing_ = false;
    int majorVersion_ = 0;

    // The desktop's part in a run: dock progress, the sleep inhibitor and
    // the notification at its end.
    ui::DesktopIntegration* extras_ = nullptr;
};
