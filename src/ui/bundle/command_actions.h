#pragma once
// A window's commands as actions: one QAction per command number, connected
// once to what it does. Menus built from the resource bundle and the keys of
// its accelerator tables are bound to these actions when they are loaded, so
// a menu item, a key and a button of one command are one action: enabled
// and disabled together, and a disabled command does nothing by any way.
#include <QObject>
#include <functional>
#include <map>

class QAction;
class QMenu;
class QWidget;

namespace ui {

class CommandActions : public QObject {
    Q_OBJECT
  public:
    // The actions' keys work anywhere in `window`.
    explicit CommandActions(QWidget* window);

    // The action of `command`, running `run` when triggered. Named
    // "command<number>".
    QAction* Add(int command, std::function<void()> run);
    // Null for a command nobody added.
    QAction* Action(int command) const;
    // Triggers the action of `command` when it is enabled; false otherwise.
    bool Run(int command) const;
    void SetEnabled(int command, bool enabled) const;

    // Each command item of `menu` and its drop-downs triggers the action of
    // its command and follows its enabled and checked state; items of
    // commands nobody added stay disabled. Each menu is translated as it
    // opens, after menuShowing.
    void BindMenu(QMenu* menu);
    // Gives each action the keys the accelerator table assigns its command.
    void BindKeys(int tableId);

  signals:
    // A bound menu is about to open: the time to bring the state up to date.
    void menuShowing();

  private:
    QWidget* window_;
    std::map<int, QAction*> actions_;
};

}  // namespace ui
