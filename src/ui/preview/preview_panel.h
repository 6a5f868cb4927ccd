#pragma once
// The preview panel (dialog layout 254): plays the selected task's file in
// a native child window of its own by running mplayer in slave mode with
// "-wid", shows the playing position on a position bar, and lets the user
// mark a start and an end point stored in the task.
//
// Wiring by the main window:
//   - construct with the main window as parent and its posting target:
//     the panel posts WM_MARK_CHANGED (32771, after a mark changed the
//     task's range) and WM_PREVIEW_EXPANDED (5029, wParam 1 expanded /
//     0 normal, after a double click) to it; SetMainWindowTarget sets it
//     later;
//   - SetTask with the selected row's task or nullptr, LockControls right
//     after when previewing is forbidden, PlayTask(false) on activation;
//   - connect statusText to the status line: the panel reports there that
//     the preview could not be shown or started;
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "media/task.h"
#include "platform/post_message.h"
#include "resource_ids.h"

class CCmdMplayer;
class CPositionBar;
class QPixmap;

namespace ui {
class BitmapButtonBar;

// The preview's "-vo" value for a stored MPLAYER_VO: the Windows outputs
// map to X11 ones ("directx" to "xv,x11,", "gl2" to "gl_tiled"); others
// stay as they are.
std::wstring MapVideoOutput(const std::wstring& stored);

// "%.2f" of ms / 1000 in the C locale, whatever the user's locale.
std::wstring SecondsText(int64_t ms);

}  // namespace ui

class CPreviewPanel : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kControlId = ids::ctl::main_window::kPreview;
    static constexpr int kWidth = 266;
    static constexpr int kHeight = 252;
    static constexpr int kButtonBarId = ids::ctl::preview::kButtonBar;
    static constexpr int kPositionBarRectId = ids::ctl::preview::kPositionBar;
    static constexpr int kVideoAreaId = ids::ctl::preview::kVideoArea;
    static constexpr int kPositionTimerId = 55;
    static constexpr int kPositionTimerMs = 10;

    // Buttons of the bar, by index.
    enum Button { kSetStart, kSetEnd, kPlay, kPause, kStop, kGoStart, kGoEnd };
    enum PlayState { kStopped = 0, kPaused = 1, kPlaying = 2 };

    explicit CPreviewPanel(QWidget* parent = nullptr, platform::IPostTarget* mainWindow = nullptr);
    ~CPreviewPanel() override;

    void SetMainWindowTarget(platform::IPostTarget* target) { mainWindow_ = target; }

    void SetTask(Task* task);
    void PlayTask(bool fromButton);
    void LockControls();
    void Stop();
    void TogglePause();
    // Buttons (8225) and bar clicks (32770).
    void OnMessage(unsigned msg, uintptr_t wParam);
    // The dialog's confirm command: the bar's marks go into the task.
    void OnConfirm();
    // Loads the bitmaps again through the language's lookup (message 5031).
    void Retranslate();

    int playState() const { return playState_; }
    Task* CurrentTask() const { return task_; }
    bool ControlsLocked() const { return locked_; }
    bool expanded() const { return expanded_; }
    int64_t durationUnits() const { return durationUnits_; }
    bool timerRunning() const { return positionTimer_ != 0; }

    ui::BitmapButtonBar* buttonBar() const { return buttonBar_; }
    CPositionBar* positionBar() const { return positionBar_; }
    QWidget* videoArea() const { return videoArea_; }
    QWidget* videoWindow() const { return videoWindow_; }
    CCmdMplayer* player() const { return player_.get(); }

    // The player program run for the preview; the default is
    // PlayerProgramPath().
    void SetPlayerProgram(const std::wstring& path) { playerProgram_ = path; }

  signals:
    // A text for the main window's status line.
    void statusText(const QString& text);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void Layout();
    bool StartPlayer();
    void StartTimer();
    void KillTimer();
    bool PlayerActive() const;
    void OnButton(int index);
    void OnBarClick();
    void SeekToBar();
    void SetMark(bool start);
    void GoToMark(bool start);
    void CopyMarksToTask();
    void PostToMain(unsigned msg, uintptr_t wParam);
    void WatchStart();
    void ReportNotShown();
    void ToggleExpanded();
    void EnableButtons(std::initializer_list<int> buttons, bool on);

    int playState_ = kStopped;
    ui::BitmapButtonBar* buttonBar_ = nullptr;
    CPositionBar* positionBar_ = nullptr;
    QWidget* videoArea_ = nullptr;
    QWidget* videoWindow_ = nullptr;
    std::unique_ptr<CCmdMplayer> player_;
    Task* task_ = nullptr;
    int64_t durationUnits_ = 0;
    int positionTimer_ = 0;
    bool expanded_ = false;
    bool locked_ = false;
    // Until the player has opened its video output (or failed to).
    bool watchingStart_ = false;
    QElapsedTimer playbackSeen_;
    static constexpr int kStartWatchMs = 5000;
    std::unique_ptr<QPixmap> background_, stopped_;
    platform::IPostTarget* mainWindow_ = nullptr;
    std::wstring playerProgram_;
};
