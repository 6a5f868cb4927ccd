#pragma once
// What a Linux desktop offers beyond the window, over D-Bus: a notification
// when a run ends while the window is in the background (with an action
// that shows the file in its folder), the run's progress on the dock
// (com.canonical.Unity.LauncherEntry), and a systemd-logind sleep inhibitor
// held while a run downloads. Each can be switched off; a desktop without
// the service simply shows nothing.
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>

class QWidget;

namespace ui {

// The desktop entry's name without ".desktop": the window's application id.
inline constexpr const char* kDesktopAppId = CLIPVANE_APP_ID;

struct DesktopOptions {
    bool notify = true;     // "Notify"
    bool progress = true;   // "TaskbarProgress"
    bool keepAwake = true;  // "KeepAwake"
};

class DesktopIntegration : public QObject {
    Q_OBJECT
  public:
    explicit DesktopIntegration(QObject* parent = nullptr);
    // Releases the inhibitor and takes the progress off the dock.
    ~DesktopIntegration() override;

    // The switches: double-word values of Software\Clipvane\Setting\Desktop
    // (0 off, anything else or absent on).
    static DesktopOptions LoadOptions();
    void SetOptions(const DesktopOptions& options);
    const DesktopOptions& Options() const { return options_; }

    // At the end of a run: a notification when `window` is not the active
    // window. `lastFile` (may be empty) is what the action shows. True when
    // a notification was sent.
    bool NotifyRunFinished(const QWidget* window, int finished, int failed,
                           const QString& lastFile);
    // The run's overall progress, 0 to 1; a negative value takes it off.
    void SetRunProgress(double fraction);
    // Takes the sleep inhibitor when set, releases it when cleared.
    void SetDownloading(bool downloading);
    bool InhibitorHeld() const;

    // What the notification's action runs on its file; the desktop's
    // file manager (SystemDesktopServices::ShowItem) unless replaced.
    void SetShowItemHandler(std::function<void(const QString&)> handler);

  signals:
    void notificationSent(uint id);
    void inhibitorChanged(bool held);

  private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnNotificationClosed(uint id, uint reason);

  private:
    void SendLauncherUpdate(double progress, bool visible);
    void ReleaseInhibitor();

    DesktopOptions options_;
    std::function<void(const QString&)> showItem_;
    std::map<uint, QString> notified_;  // notification id -> file
    double lastProgress_ = -1;
    bool progressShown_ = false;
    bool downloading_ = false;
    unsigned inhibitGeneration_ = 0;
    struct Inhibitor;
    std::unique_ptr<Inhibitor> inhibitor_;
};

}  // namespace ui
