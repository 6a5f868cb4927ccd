#include "ui/bundle/menu_builder.h"

#include "platform/menu_template.h"
#include "platform/resource_bundle.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/translate.h"

namespace ui {
namespace {

void AddItems(QMenu* menu, const std::vector<platform::MenuItemTemplate>& items) {
    using Kind = platform::MenuItemTemplate::Kind;
    for (const auto& item : items) {
        switch (item.kind) {
            case Kind::Separator:
                menu->addSeparator();
                break;
            case Kind::Popup:
                AddItems(menu->addMenu(ToQ(item.text)), item.children);
                break;
            case Kind::Command: {
                QAction* a = menu->addAction(ToQ(item.text));
                a->setProperty(kCommandIdProperty, item.command);
                a->setObjectName(QStringLiteral("cmd%1").arg(item.command));
                a->setCheckable(item.checkable);
                a->setChecked(item.checked);
                a->setEnabled(!item.disabled);
                break;
            }
        }
    }
}

Qt::Key KeyOf(const std::string& name) {
    static const std::pair<const char*, Qt::Key> kNamed[] = {
        {"Delete", Qt::Key_Delete}, {"Insert", Qt::Key_Insert}, {"Home", Qt::Key_Home},
        {"End", Qt::Key_End},       {"PageUp", Qt::Key_PageUp}, {"PageDown", Qt::Key_PageDown},
        {"Left", Qt::Key_Left},     {"Right", Qt::Key_Right},   {"Up", Qt::Key_Up},
        {"Down", Qt::Key_Down},     {"Tab", Qt::Key_Tab},       {"Backspace", Qt::Key_Backspace},
        {"Enter", Qt::Key_Return},  {"Escape", Qt::Key_Escape}, {"Space", Qt::Key_Space}};
    // Printable keys share their code with ASCII.
    if (name.size() == 1) return static_cast<Qt::Key>(static_cast<unsigned char>(name[0]));
    for (const auto& [n, k] : kNamed)
        if (name == n) return k;
    return static_cast<Qt::Key>(Qt::Key_F1 + std::stoi(name.substr(1)) - 1);
}

}  // namespace

QMenu* BuildMenu(int menuId, int subMenuIndex, QWidget* parent, QString* error) {
    auto text = platform::ResourceBundle::Current().Menu(static_cast<unsigned>(menuId));
    if (!text) {
        if (error) *error = QStringLiteral("no menu %1 in the resource bundle").arg(menuId);
        return nullptr;
    }
    std::string why;
    auto tpl = platform::ParseMenuTemplate(*text, &why);
    if (!tpl) {
        if (error)
            *error = QStringLiteral("menu %1: %2").arg(menuId).arg(QString::fromStdString(why));
        return nullptr;
    }
    if (subMenuIndex < 0 || static_cast<size_t>(subMenuIndex) >= tpl->popups.size()) {
        if (error)
            *error = QStringLiteral("menu %1 has no drop-down %2").arg(menuId).arg(subMenuIndex);
        return nullptr;
    }
    const auto& popup = tpl->popups[static_cast<size_t>(subMenuIndex)];
    auto* menu = new QMenu(ToQ(popup.text), parent);
    if (menuId == kMainMenuId) menu->setProperty(kMainMenuProperty, true);
    AddItems(menu, popup.children);
    TranslateMenu(menu);
    return menu;
}

std::vector<std::pair<QKeySequence, int>> LoadAccelerators(int tableId, QString* error) {
    std::vector<std::pair<QKeySequence, int>> keys;
    auto text = platform::ResourceBundle::Current().Accelerators(static_cast<unsigned>(tableId));
    if (!text) {
        if (error)
            *error = QStringLiteral("no accelerator table %1 in the resource bundle").arg(tableId);
        return keys;
    }
    std::string why;
    auto table = platform::ParseAcceleratorTable(*text, &why);
    if (!table) {
        if (error)
            *error = QStringLiteral("accelerator table %1: %2")
                         .arg(tableId)
                         .arg(QString::fromStdString(why));
        return keys;
    }
    for (const auto& e : table->entries) {
        Qt::KeyboardModifiers mods;
        if (e.ctrl) mods |= Qt::ControlModifier;
        if (e.shift) mods |= Qt::ShiftModifier;
        if (e.alt) mods |= Qt::AltModifier;
        keys.emplace_back(QKeySequence(QKeyCombination(mods, KeyOf(e.key))), e.command);
    }
    return keys;
}

int ActionCommand(const QAction* action) {
    QVariant v = action->property(kCommandIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

QAction* FindCommand(const QMenu* menu, int command) {
    for (QAction* a : menu->actions()) {
        if (ActionCommand(a) == command && !a->isSeparator() && !a->menu()) return a;
        if (a->menu())
            if (QAction* found = FindCommand(a->menu(), command)) return found;
    }
    return nullptr;
}

}  // namespace ui
