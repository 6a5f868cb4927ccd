#pragma once
// The window's keys wherever the focus is in it: a text field keeps only its
// editing keys and lets the window's shortcuts through, and Alt pressed and
// released alone opens the main menu, as it opens a menu bar.
#include <QObject>

class QWidget;

namespace ui {

class WindowKeys : public QObject {
    Q_OBJECT
  public:
    // Watches the keys of every widget of `window` (through the
    // application's events, so that fields and lists made later are seen).
    explicit WindowKeys(QWidget* window);
    ~WindowKeys() override;

  signals:
    // A key is about to be matched to a shortcut: the commands' state first.
    void shortcutComing();
    void altAlone();

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    QWidget* window_;
    bool altAlone_ = false;  // Alt went down and nothing else since
};

}  // namespace ui
