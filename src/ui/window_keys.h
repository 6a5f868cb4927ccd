#pragma once
// The window's keys wherever the focus is in it: a text field keeps only its
// editing keys and lets the window's shortcuts through, and Alt pressed and
// released alone opens the main menu, as it opens a menu bar.
#include <QObject>

class QLineEdit;
class QWidget;

namespace ui {

class WindowKeys : public QObject {
    Q_OBJECT
  public:
    explicit WindowKeys(QWidget* window);
    ~WindowKeys() override;
    // Keys of every widget of the window (the application's events).
    void WatchApplication();
    void WatchField(QLineEdit* field);

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
