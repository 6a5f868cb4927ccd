#pragma once
// The Qt side of the start-up: the application object of Qt, message boxes,
// the main window, and closing on SIGTERM and SIGINT.
#include <QObject>
#include <QPointer>
#include <memory>

#include "application/clipvane_app.h"
#include "ui/desktop/qt_message_box.h"

class QSocketNotifier;
class CClipvaneDlg;

namespace ui {

class QtFrontEnd : public QObject, public IFrontEnd {
    Q_OBJECT
  public:
    QtFrontEnd();
    ~QtFrontEnd() override;

    bool InitToolkit() override;
    void RunMainWindow() override;
    void ReleaseToolkit() override;
    void DestroyMainWindow() override;
    // The application object whose history the window shows.
    void SetApp(CClipvaneApp* app) { app_ = app; }
    CClipvaneDlg* MainWindow() const { return mainWindow_.get(); }

  private slots:
    void OnSignal();

  private:
    QtMessageBoxService boxes_;
    std::unique_ptr<CClipvaneDlg> mainWindow_;
    QSocketNotifier* notifier_ = nullptr;
    bool closeRequested_ = false;
    CClipvaneApp* app_ = nullptr;
};

}  // namespace ui
