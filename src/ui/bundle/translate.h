#pragma once
// Applies the chosen language over Qt dialogs, menus and bitmaps.
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QWidget>

// Control texts and the caption of a dialog built from template `id`.
void TranslateDialog(QWidget* dialog, int id);
// Texts of a menu bar ("item_%d" for its drop-down titles) and its menus; a
// menu with the property "mainMenu" set is treated as the menu bar.
void TranslateMenu(QMenuBar* bar);
void TranslateMenu(QMenu* menu);
// The bitmap of the language file when it names a loadable one, else the
// bundle's bitmap of that number.
void LoadTranslatedBitmap(QPixmap& bitmap, int id);

namespace ui {

// A bundle bitmap through the translation lookup, in its high-density copy
// ("<id>@2x.png" in the bundle, "<file>@2x.png" beside a translation's file)
// on a screen of more than one device pixel per pixel.
QPixmap LoadSkinBitmap(int id);

}  // namespace ui
