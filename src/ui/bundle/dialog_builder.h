#pragma once
// Builds a Qt dialog's children from a layout of the resource bundle. Every
// control carries its identifier as the property "controlId".
#include <QWidget>

namespace ui {

inline constexpr const char* kControlIdProperty = "controlId";
inline constexpr const char* kCommandIdProperty = "commandId";

// Creates the controls of dialog template `id` inside `dialog`, sizes the
// dialog and sets its caption. False when the bundle has no such layout.
bool BuildDialogFromTemplate(QWidget* dialog, int id);
// The descendant carrying control identifier `id`, or null.
QWidget* FindControl(QWidget* parent, int id);
int ControlId(const QObject* w);

}  // namespace ui
