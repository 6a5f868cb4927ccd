#pragma once
// Builds a Qt dialog's children from a layout of the resource bundle. Every
// control carries its identifier as the property "controlId".
#include <QWidget>

class QDialog;

namespace ui {

inline constexpr const char* kControlIdProperty = "controlId";
inline constexpr const char* kCommandIdProperty = "commandId";

// Creates the controls of dialog template `id` inside `dialog`, sizes the
// dialog and sets its caption. False when the bundle has no such layout.
bool BuildDialogFromTemplate(QWidget* dialog, int id);
// The descendant carrying control identifier `id`, or null.
QWidget* FindControl(QWidget* parent, int id);
int ControlId(const QObject* w);
// Gives a control made by hand its identifier, as a layout's controls have.
void TagControl(QWidget* w, int id);

// The keys every dialog answers to: Escape cancels and Enter presses the
// default button (the toolkit's own handling, kept), and in a multi-line box
// Enter makes a new line, Ctrl+Enter presses the default button and Tab /
// Shift+Tab move the focus instead of typing a tab. Applies to the boxes the
// dialog holds now.
void ApplyDialogKeys(QDialog* dialog);

}  // namespace ui
