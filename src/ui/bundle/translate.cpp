#include "ui/bundle/translate.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

#include "app/localization.h"
#include "platform/resource_bundle.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/menu_builder.h"
#include "ui/bundle/qt_text.h"

namespace {

void SetControlText(QWidget* w, const QString& text) {
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
    else
        w->setWindowTitle(text);
}

void TranslateActions(const QList<QAction*>& actions, bool mainBar) {
    int pos = 0;
    for (QAction* a : actions) {
        ++pos;
        if (a->isSeparator()) continue;
        int id = ui::ActionCommand(a);
        if (a->menu() && id <= 0 && mainBar) {
            std::wstring t = ReadTranslation(L"MENU", L"item_" + std::to_wstring(pos));
            if (!t.empty()) a->setText(ui::ToQ(t));
        }
        if (id > 0) {
            std::wstring t = ReadTranslation(L"MENU", std::to_wstring(id));
            if (!t.empty()) {
                bool checked = a->isChecked();
                a->setText(ui::ToQ(t));
                if (checked) a->setChecked(true);
            }
        }
        if (a->menu()) TranslateActions(a->menu()->actions(), false);
    }
}

}  // namespace

void TranslateDialog(QWidget* dialog, int id) {
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        int cid = ui::ControlId(w);
        if (cid == 0) continue;
        std::wstring t = ReadControlText(id, cid);
        if (!t.empty()) SetControlText(w, ui::ToQ(t));
    }
    std::wstring title = ReadTranslation(L"DIALOG_IDD_" + std::to_wstring(id), L"title");
    if (!title.empty()) dialog->setWindowTitle(ui::ToQ(title));
}

void TranslateMenu(QMenuBar* bar) {
    TranslateActions(bar->actions(), true);
}
void TranslateMenu(QMenu* menu) {
    // The main menu stands for the menu bar: its drop-downs are titled by position.
    TranslateActions(menu->actions(), menu->property("mainMenu").toBool());
}

void LoadTranslatedBitmap(QPixmap& bitmap, int id) {
    std::wstring file = TranslatedBitmapFile(static_cast<unsigned>(id));
    if (!file.empty()) {
        QPixmap p;
        if (p.load(ui::ToQ(file))) {
            bitmap = p;
            return;
        }
    }
    QPixmap p;
    if (auto data = platform::ResourceBundle::Current().Bitmap(static_cast<unsigned>(id)))
        p.loadFromData(reinterpret_cast<const uchar*>(data->data()),
                       static_cast<uint>(data->size()), "PNG");
    bitmap = p;
}

namespace ui {

QPixmap LoadSkinBitmap(int id) {
    // The high-density copy: "<file>@2x.png" beside a translation's file, or
    // "bitmaps/<id>@2x.png" in the bundle; only on a screen of more than one
    // device pixel per pixel, since scaling down blurs the words.
    QPixmap p;
    const bool dense2x = qGuiApp && qGuiApp->devicePixelRatio() > 1.0;
    const std::wstring file = TranslatedBitmapFile(static_cast<unsigned>(id));
    if (!file.empty()) {
        QString dense = ui::ToQ(file);
        if (dense.endsWith(QStringLiteral(".png")))
            dense.insert(dense.size() - 4, QStringLiteral("@2x"));
        if (dense2x && dense != ui::ToQ(file) && p.load(dense)) {
            p.setDevicePixelRatio(2.0);
            return p;
        }
    } else if (auto data = dense2x ? platform::ResourceBundle::Current().Find(
                                         "bitmaps/" + std::to_string(id) + "@2x.png")
                                   : std::nullopt;
               data && p.loadFromData(reinterpret_cast<const uchar*>(data->data()),
                                      static_cast<uint>(data->size()), "PNG")) {
        p.setDevicePixelRatio(2.0);
        return p;
    }
    LoadTranslatedBitmap(p, id);
    return p;
}

}  // namespace ui
