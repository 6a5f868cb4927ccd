#pragma once
// Qt menus and key tables from the menus and accelerator tables of the
// resource bundle. Every command item carries its command as the QAction
// property "commandId" (kCommandIdProperty).
#include <QKeySequence>
#include <QMenu>
#include <QString>
#include <utility>
#include <vector>

#include "resource_ids.h"

namespace ui {

// The main menu, whose drop-down titles take the translations of the menu
// bar ("item_%d" by position); BuildMenu marks it with kMainMenuProperty.
inline constexpr int kMainMenuId = ids::menu::kMain;
inline constexpr const char* kMainMenuProperty = "mainMenu";

// Builds drop-down `subMenuIndex` (0-based) of menu `menuId` as a QMenu owned
// by `parent`, in the current language (TranslateMenu). Null when the bundle
// has no such menu or drop-down or the menu text is malformed; `error` then
// says why.
QMenu* BuildMenu(int menuId, int subMenuIndex, QWidget* parent, QString* error = nullptr);

// The keys of accelerator table `tableId`, in table order; a command may have
// several. Empty when the bundle has no such table or it is malformed.
std::vector<std::pair<QKeySequence, int>> LoadAccelerators(int tableId, QString* error = nullptr);

// The command of a menu item; 0 for separators, drop-downs and foreign actions.
int ActionCommand(const QAction* action);
// The item of `command` in `menu` or its drop-downs, or null.
QAction* FindCommand(const QMenu* menu, int command);

}  // namespace ui
