#pragma once
// The preview panel's place in the main window. It shows which task is
// chosen; playing comes with the player.
#include <QFrame>

#include "media/task.h"

class QLabel;

class CPreviewPanel : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kControlId = 254;
    static constexpr int kWidth = 266;
    static constexpr int kHeight = 252;

    explicit CPreviewPanel(QWidget* parent = nullptr);

    // The task to show; null shows none.
    void SetTask(Task* task);
    // Starts playing the shown task (paused when `paused`).
    void PlayTask(bool paused);
    // Keeps the user from changing the marked range during a download.
    void LockControls();
    // 0 idle; anything else while the player runs.
    int playState() const { return playState_; }
    Task* CurrentTask() const { return task_; }
    bool ControlsLocked() const { return locked_; }

  private:
    Task* task_ = nullptr;
    int playState_ = 0;
    bool locked_ = false;
    QLabel* label_;
};
