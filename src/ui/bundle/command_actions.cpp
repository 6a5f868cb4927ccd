#include "ui/bundle/command_actions.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "ui/bundle/menu_builder.h"
#include "ui/bundle/translate.h"

namespace ui {

CommandActions::CommandActions(QWidget* window) : QObject(window), window_(window) {}

QAction* CommandActions::Add(int command, std::function<void()> run) {
    auto* a = new QAction(window_);
    a->setObjectName(QStringLiteral("command%1").arg(command));
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, [run = std::move(run)] { run(); });
    window_->addAction(a);
    actions_[command] = a;
    return a;
}

QAction* CommandActions::Action(int command) const {
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

bool CommandActions::Run(int command) const {
    QAction* a = Action(command);
    if (!a || !a->isEnabled()) return false;
    a->trigger();
    return true;
}

void CommandActions::SetEnabled(int command, bool enabled) const {
    if (QAction* a = Action(command)) a->setEnabled(enabled);
}

void CommandActions::BindMenu(QMenu* menu) {
    if (!menu) return;
    for (QAction* item : menu->actions()) {
        if (item->menu()) {
            BindMenu(item->menu());
            continue;
        }
        const int command = ActionCommand(item);
        if (command == 0) continue;
        QAction* a = Action(command);
        if (!a) {
            item->setEnabled(false);
            continue;
        }
        auto follow = [item, a] {
            item->setEnabled(a->isEnabled());
            if (a->isCheckable()) item->setChecked(a->isChecked());
        };
        follow();
        connect(a, &QAction::changed, item, follow);
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        TranslateMenu(menu);
        emit menuShowing();
    });
    // A drop-down's choice reaches its top menu too: one connection there.
    if (!qobject_cast<QMenu*>(menu->parent()))
        connect(menu, &QMenu::triggered, this, [this](QAction* item) { Run(ActionCommand(item)); });
}

void CommandActions::BindKeys(int tableId) {
    std::map<int, QList<QKeySequence>> keys;
    for (const auto& [sequence, command] : LoadAccelerators(tableId))
        keys[command].append(sequence);
    for (const auto& [command, sequences] : keys)
        if (QAction* a = Action(command)) a->setShortcuts(sequences);
}

}  // namespace ui
