#pragma once
// The preview embeds the player's picture by X11 window id, which a
// Wayland session does not give: there the program runs on XWayland.

namespace ui {

// Before the QApplication exists: when QT_QPA_PLATFORM is unset, the
// session is Wayland and an X display is at hand, selects "xcb". True when
// it did.
bool PreferX11Session();

}  // namespace ui
